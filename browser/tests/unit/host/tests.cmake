# The read loop drives the central handler, which calls the agent library: the recording fake
# stands in for it, after the libraries that call it.
list(APPEND _libraries quenlow_handler quenlow_messages FakeVarnhold)
