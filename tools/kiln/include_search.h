// The #include opener of the shader commands (-I DIR, --assign NAME=DIR):
// a name is looked for beside the file that includes it (the input file's
// folder for the input itself, the working folder for standard input), then
// in the -I folders in order; "NAME:path" whose NAME is a path assign opens
// path in the assigned folder; a full path is used as it is.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shader/compiler.h"

class SearchPathInclude : public IKLInclude {
public:
    // `inputDirectory`: the folder of the input file ("" for the working folder).
    SearchPathInclude(std::string inputDirectory, std::vector<std::string> dirs,
                      std::map<std::string, std::string> assigns)
        : inputDirectory_(std::move(inputDirectory)), dirs_(std::move(dirs)), assigns_(std::move(assigns)) {}

    HRESULT Open(KLINCLUDE_TYPE type, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override;
    HRESULT Close(LPCVOID data) override;

private:
    std::vector<std::string> Candidates(const std::string& name, LPCVOID parent) const;

    std::string inputDirectory_;
    std::vector<std::string> dirs_;
    std::map<std::string, std::string> assigns_;
    // Each opened buffer remembers its folder, so nested includes resolve against it.
    std::map<LPCVOID, std::string> directories_;
    std::map<LPCVOID, std::unique_ptr<std::string>> buffers_;
};
