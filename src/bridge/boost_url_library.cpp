// Boost.URL's compiled part, built into the host instead of linked from its
// library. The library's build includes <iostream> in one of its sources
// without using it, and with it libstdc++'s static initialiser of the
// standard stream objects, which every start of the host would pay for.
// Defining libstdc++'s include guard of <iostream> first turns that include
// into nothing here; other standard libraries do not know the name and
// include their <iostream> as usual.
#include <ostream>

#define _GLIBCXX_IOSTREAM 1

#include <boost/url/src.hpp>
