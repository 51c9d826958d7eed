# The handler calls the agent library: the recording fake stands in for it, after the libraries
# that call it.
list(APPEND _libraries quenlow_messages FakeVarnhold)
