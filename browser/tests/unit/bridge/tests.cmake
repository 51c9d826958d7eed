# The tests load the stand-in bridge from the folder they run in, so it must be built with them.
if(TARGET halvern_runtime)
  list(APPEND _libraries halvern_runtime)
endif()
