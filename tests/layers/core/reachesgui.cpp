// A core file reaching a window header by a relative path, past the include paths of its
// library: the build must refuse it (tests/CMakeLists.txt, layers_relative_include_refused).
#include "../gui/loadedform.h"
