// The failing heap replaces the C library's allocator in this test program.
#include "support/failing_heap_impl.h"
