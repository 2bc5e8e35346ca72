// The stages of one compile after the preprocessor has been opened:
//   parse -> lower -> optimise -> generate.
// The compile driver (shader_compiler.cpp) resolves the target, checks flags and
// runs the stages through the table that GetCompileStages() returns; the table
// is filled in compile_stages.cpp, the one place where the front end, the
// intermediate program and the code generators join the driver. A stage that is
// not built yet leaves its slot null and the driver stops there with E_NOTIMPL
// after draining the token stream, so preprocessor messages are still reported.
#pragma once

#include <string>
#include <vector>

#include "shader/compile_options.h"
#include "shader/compiler.h"
#include "shader/target.h"

class Preprocessor;

struct CompileJob {
    Preprocessor* preprocessor = nullptr;
    const char* entryPoint = nullptr;
    const char* profile = nullptr;
    TargetDesc target{};
    uint32_t version = 0;   // after vs_1_0/ps_1_0 have become vs_1_1/ps_1_1
    bool remapped = false;  // the profile was vs_1_0 or ps_1_0
    DWORD flags = 0;        // bit 0x08 already cleared for ps_1_1 to ps_1_4
    CompileOptions options;
    // The source as handed to the compile, kept for the debug information
    // (compile flag 0x01 only).
    std::string debugSource;
    IKLBuffer** code = nullptr;
    IKLConstantTable** constantTable = nullptr;
    void* program = nullptr;  // the program tree, owned by the stages
    bool errorFlag = false;   // an error was reported while lowering
};

struct CompileStages {
    // Parses the token stream into job.program. E_FAIL on a parse failure
    // (messages already logged), or a preprocessor failure.
    HRESULT (*parse)(CompileJob& job);
    // Lowers the globals, finds and lowers the entry function (SelectEntryPoint),
    // optimises and writes the bytecode into *job.code; builds the constant
    // table when job.constantTable is set.
    HRESULT (*generate)(CompileJob& job);
    // Frees job.program and whatever else the stages kept.
    void (*release)(CompileJob& job);
    // Assembles the token stream of `preprocessor` into bytecode.
    HRESULT (*assemble)(Preprocessor& preprocessor, DWORD flags, IKLBuffer** code);
};

const CompileStages& GetCompileStages();

// One top-level function declaration considered as the entry point.
struct EntryCandidate {
    const char* name;
    bool hasBody;
    const char* target;  // target name of a function declared for one target, or null
};

// Picks the entry function among `candidates` (in source order) for the
// compile's version token: the name must match byte for byte and the function
// must have a body; a function declared for a target of another kind or
// another version is skipped; the greatest version wins, the first on a tie.
// Returns the index, or -1 when none qualifies (the caller logs X3501).
int SelectEntryPoint(const std::vector<EntryCandidate>& candidates, const char* entryPoint, uint32_t version);

// Runs one compile over an opened preprocessor: checks the entry point name,
// flags and code out, resolves the profile, chooses the code generator and runs
// the stages. Messages go to the preprocessor's ErrorLog.
HRESULT RunShaderCompiler(Preprocessor& preprocessor, const char* entryPoint, const char* profile, DWORD flags,
                          IKLBuffer** code, IKLConstantTable** constantTable, const CompileOptions& options = {});

// Runs the assembler over an opened preprocessor.
HRESULT RunShaderAssembler(Preprocessor& preprocessor, DWORD flags, IKLBuffer** code);
