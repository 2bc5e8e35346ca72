// Where the demo's data files are: the working folder when it holds them (the
// way the demo has always been run), else <program folder>/../share/cinderglow,
// where installing puts them.
#pragma once

#include <string>

namespace demo {

// The folder to read the data from, or "" to stay in the working folder
// (also when no other folder holds the data: then the files are reported
// missing one by one as the demo loads them).
std::string FindDataFolder();

}  // namespace demo
