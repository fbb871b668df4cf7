#!/bin/sh
# Fails when an object of the given archives reaches the heap other than
# through MemAlloc, MemResize and MemFree: a direct call of the C allocator or
# of operator new/delete (which any standard container or string brings) would
# escape the test heap, so its failures and leaks would go unseen. The heap's
# own implementation, heap.cpp, is the one object allowed to.
status=0
for archive in "$@"; do
  found=$(nm -A -C --undefined-only "$archive" |
    grep -v '[:/]heap\.cpp\.o:' |
    grep -E ' U (malloc|calloc|realloc|reallocarray|free|strdup|strndup|aligned_alloc|posix_memalign|memalign|valloc)$| U operator (new|delete)')
  if [ -n "$found" ]; then
    echo "$found"
    status=1
  fi
  echo "checked $archive"
done
exit $status
