# cmake -DIMAGE=file.bin -DLIMIT=bytes -P CheckSize.cmake: fails when the
# flash image is larger than LIMIT bytes, and says how large it is.
file(SIZE "${IMAGE}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${IMAGE}: ${size} bytes, over the ${LIMIT} bytes of the boot section")
endif()
message(STATUS "boot loader: ${size} of ${LIMIT} bytes")
