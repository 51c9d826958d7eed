// The few compiled parts of the header-only JSON parser that the reader's instantiation needs:
// its error codes, its default memory resource and its internal state stack, and the type
// information of the shared memory resource (which clang's UBSan vptr check refers to). Only
// these, to keep the build light. The declarations must come before the implementations
// (separate blocks keep the include sorter from reordering them).
#ifndef BOOST_JSON_SOURCE
#define BOOST_JSON_SOURCE
#endif

#include <boost/json/detail/config.hpp>

#include <boost/json/memory_resource.hpp>
#include <boost/json/storage_ptr.hpp>

#include <boost/json/detail/impl/default_resource.ipp>
#include <boost/json/detail/impl/shared_resource.ipp>
#include <boost/json/detail/impl/stack.ipp>
#include <boost/json/impl/error.ipp>
