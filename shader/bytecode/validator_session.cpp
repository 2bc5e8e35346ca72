#include "shader/bytecode/validator_session.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "gfx/shaders/shader_check_messages.h"
#include "platform/modules.h"

namespace {

constexpr char kValidatorModule[] = "d3d9.dll";
constexpr char kValidatorExport[] = "Direct3DShaderValidatorCreate9";
// Message types: 2 and 6 are errors, 1 and 5 warnings.
bool IsErrorMessage(DWORD type) { return type == 2 || type == 6; }
bool IsWarningMessage(DWORD type) { return type == 1 || type == 5; }

}  // namespace

ValidatorSession::~ValidatorSession() {
    if (validator_) validator_->Release();
}

bool ValidatorSession::Begin(ErrorLog* log, DWORD flags, bool reportWarnings) {
    log_ = log;
    reportWarnings_ = reportWarnings;
    HMODULE module = GetModuleHandleA(kValidatorModule);
    if (!module) module = LoadLibraryA(kValidatorModule);
    if (!module) return false;
    auto create = reinterpret_cast<gfx::ShaderValidatorCreateFn>(GetProcAddress(module, kValidatorExport));
    if (!create) return false;
    validator_ = create();
    if (!validator_) return false;
    if (FAILED(validator_->Begin(&ValidatorSession::OnMessage, this, flags))) {
        validator_->Release();
        validator_ = nullptr;
        return false;
    }
    return true;
}

HRESULT ValidatorSession::OnMessage(const char* file, UINT line, DWORD type, DWORD code, const char* text,
                                    void* context) {
    auto* self = static_cast<ValidatorSession*>(context);
    if (!self || !self->log_) return S_OK;
    // A message without a line belongs to the instruction being handed over.
    SourceLocation location{file, line};
    if (line == 0) location = SourceLocation{self->file_, self->line_};
    const std::string message = self->Described(code, text ? text : "");
    if (IsErrorMessage(type)) {
        self->failed_ = true;
        if (code < 64) self->failedCodes_ |= uint64_t(1) << code;
        self->log_->ReportError(&location, 5000 + code, "%s", message.c_str());
    } else if (IsWarningMessage(type) && self->reportWarnings_) {
        self->log_->ReportWarning(&location, 5000 + code, "%s", message.c_str());
    }
    return S_OK;
}

std::string ValidatorSession::Described(DWORD code, const char* text) const {
    std::string message = text;
    if (!namer_ || code != gfx::kCheckRegisterRange) return message;
    // The message reads "register c39 is out of range for ps_2_0".
    const char* at = std::strstr(text, "register ");
    if (!at) return message;
    at += std::strlen("register ");
    if (!std::isalpha(static_cast<unsigned char>(at[0])) || !std::isdigit(static_cast<unsigned char>(at[1])))
        return message;
    const std::string holder = namer_(at[0], uint32_t(std::strtoul(at + 1, nullptr, 10)));
    if (!holder.empty()) message += " (" + holder + ")";
    return message;
}

void ValidatorSession::Submit(TokenStream& stream, const char* file, uint32_t line) {
    const uint32_t* tokens = nullptr;
    uint32_t count = 0;
    stream.TakeUnvalidated(&tokens, &count);
    if (!validator_ || count == 0) return;
    file_ = file;
    line_ = line;
    validator_->Instruction(file, line, reinterpret_cast<const DWORD*>(tokens), count);
}

void ValidatorSession::Finish(TokenStream& stream) {
    // What only the whole program shows (open blocks, instruction slots) is
    // reported at the last instruction handed over.
    Submit(stream, file_, line_);
    if (!validator_) return;
    if (!failed_) validator_->End();
    validator_->Release();
    validator_ = nullptr;
}
