// Debian's SimpleIni header keeps its template bodies behind SI_IMPLEMENTATION, and the compiled
// library that holds them on Linux has no Windows build: the one document type used is
// instantiated here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

template class CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;
