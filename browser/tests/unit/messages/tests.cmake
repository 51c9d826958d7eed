# Handlers call the agent library: the recording fake stands in for it.
list(APPEND _libraries FakeVarnhold)
