# Empties the tests' homes and makes one for each test: cmake -DHOMES=DIR
# -DNAMES=a,b -P homes.cmake
file(REMOVE_RECURSE "${HOMES}")
string(REPLACE "," ";" NAMES "${NAMES}")
foreach(name IN LISTS NAMES)
  file(MAKE_DIRECTORY "${HOMES}/${name}")
endforeach()
