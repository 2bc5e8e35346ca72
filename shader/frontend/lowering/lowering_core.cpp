// The lowering's door: target traits, reporting, and LowerShader, which runs
// the globals and the entry function and turns internal limits into messages.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "shader/compile_pipeline.h"
#include "shader/diagnostics.h"
#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/target.h"

namespace hlsl::lowering {

Lowerer::Lowerer(ProgramTree& t, IntermediateProgram& program) : tree(t), p(program) {
    // Version token: kind in the upper half, major version in bits 8-15.
    const uint32_t kind = p.version >> 16, major = (p.version >> 8) & 0xFF;
    vertexTarget = kind == 0xFFFE;
    pixelTarget = kind == 0xFFFF;
    ps1Target = pixelTarget && major < 2;
    // The ps_1_x instruction sets have no minimum, maximum or comparisons.
    nativeCompare = !ps1Target;
    const uint32_t minor = p.version & 0xFF;
    // Flow control as the profile's row says (vs_2_0 and up, ps_2_a, ps_2_x
    // and the 3.x models; not ps_2_b, which shares the 2_x token).
    flowControl = (vertexTarget || pixelTarget) && (p.target.features & kFeatureFlowControl);
    returnInArm = flowControl && (major >= 3 || (major == 2 && minor != 0));
    counterAddressing = flowControl && vertexTarget;
    instructionLimit = LoweredInstructionLimit(p.version);
}

size_t LoweredInstructionLimit(uint32_t version) {
    // Instruction slots of the largest program of each shader model: vs_1_1
    // 128, vs_2_0 and vs_2_x 256, ps_1_x at most 28, ps_2_0 96 and ps_2_x 512;
    // the 3.x models and the software profiles ("sw", minor 0xFF) are held to
    // 32768, the most any 3.x device offers.
    const uint32_t kind = version >> 16, major = (version >> 8) & 0xFF, minor = version & 0xFF;
    size_t slots = 32768;
    if (minor != 0xFF && major < 3) slots = kind == 0xFFFE ? (major < 2 ? 128 : 256) : (major < 2 ? 28 : 512);
    // Every lowered instruction is at most one vector operation, and a slot
    // holds one; the optimizer's packing of scalar work into vectors and its
    // removal of dead code earn a factor of four, and small programs some room.
    return std::max<size_t>(4 * slots, 8192);
}

void Lowerer::TooLarge(const Diagnostic& d, size_t limit, const SourceLocation& fallback) {
    const char* name = p.target.name ? p.target.name : "the target";
    Error(outerLoop ? outerLoop->loc : fallback, d, name, unsigned(limit));
    throw ProgramTooLarge();
}

namespace {

void Format(char (&buffer)[ErrorLog::kShortMessage], const char* format, va_list args) {
    std::vsnprintf(buffer, sizeof buffer, format, args);
}

}  // namespace

void Lowerer::Error(const SourceLocation& loc, Diagnostic d, ...) {
    char text[ErrorLog::kShortMessage];
    va_list args;
    va_start(args, d);
    Format(text, d.format, args);
    va_end(args);
    if (p.log) p.log->ReportError(&loc, d.number, "%s", text);
    p.errorFlag = true;
    if (SUCCEEDED(hr_)) hr_ = d.number == 3500 ? E_NOTIMPL : &d == &lowmsg::kOutOfMemory ? E_OUTOFMEMORY : E_FAIL;
}

void Lowerer::Warning(const SourceLocation& loc, Diagnostic d, ...) {
    char text[ErrorLog::kShortMessage];
    va_list args;
    va_start(args, d);
    Format(text, d.format, args);
    va_end(args);
    if (p.log && !muteWarnings) p.log->ReportWarning(&loc, d.number, "%s", text);
}

}  // namespace hlsl::lowering

namespace hlsl {

namespace {

// The value area is one map entry per scalar slot; a source whose variables
// add up to more than this is refused rather than allocated.
constexpr uint32_t kMaxValueSlots = 1u << 22;

FuncDecl* FindEntry(ProgramTree& tree, const char* entry, uint32_t version) {
    std::vector<EntryCandidate> candidates;
    std::vector<FuncDecl*> functions;
    for (Decl* d : tree.decls) {
        if (d->declKind != kDeclFunction) continue;
        FuncDecl* f = static_cast<FuncDecl*>(d);
        candidates.push_back({f->name, f->hasBody, f->target});
        functions.push_back(f);
    }
    const int chosen = SelectEntryPoint(candidates, entry, version);
    return chosen < 0 ? nullptr : functions[size_t(chosen)];
}

}  // namespace

HRESULT LowerShader(ProgramTree& tree, const char* entry, IntermediateProgram& program, const SourceLocation* end,
                    LoweringOptions* options) {
    if (!entry) return D3DERR_INVALIDCALL;
    LoweringOptions defaults;
    if (!options) options = &defaults;
    program.entryName = entry;
    auto outOfMemory = [&]() {
        if (program.log) program.log->Report(nullptr, lowmsg::kOutOfMemory);
        program.errorFlag = true;
        return E_OUTOFMEMORY;
    };
    if (tree.valueAreaSize > kMaxValueSlots) return outOfMemory();
    try {
        lowering::Lowerer lowerer(tree, program);
        lowerer.options = options;
        HRESULT hr = lowerer.LowerGlobals();
        if (FAILED(hr)) return hr;
        FuncDecl* f = FindEntry(tree, entry, program.version);
        if (!f) {
            if (program.log) program.log->Report(end, diag::kEntryPointNotFound, entry);
            program.errorFlag = true;
            return E_FAIL;
        }
        return lowerer.LowerEntry(f);
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    } catch (const lowering::ProgramTooLarge&) {
        options->tooLarge = true;
        return E_FAIL;  // reported where it was found
    }
}

}  // namespace hlsl
