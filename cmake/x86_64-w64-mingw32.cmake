# 64-bit Windows: the same sources, for running the tests under 64-bit Wine on machines that
# run no 32-bit program (scripts/wine-env.sh). Never shipped.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
