// The validator object: runs the shader checker over the tokens it is handed
// and reports each rejected element through the caller's callback. Codes and
// texts are listed in shader_check_messages.h.
#include "gfx/shaders/shader_validator.h"

#include <atomic>

#include "gfx/shaders/shader_check_messages.h"
#include "gfx/shaders/shader_checker.h"
#include "platform/modules.h"

namespace gfx {

namespace {

class ShaderValidator final : public IDirect3DShaderValidator9 {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown) {
            AddRef();
            *object = this;
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT Begin(ShaderValidatorCallback callback, void* context, DWORD flags) override {
        (void)flags;
        callback_ = callback;
        context_ = context;
        begun_ = true;
        sawVersion_ = false;
        versionOk_ = false;
        failed_ = false;
        checker_ = ShaderChecker();
        return S_OK;
    }

    HRESULT Instruction(const char* file, UINT line, const DWORD* tokens, DWORD count) override {
        if (!begun_) return D3DERR_INVALIDCALL;
        if (count == 0) return S_OK;
        if (!tokens) return D3DERR_INVALIDCALL;
        size_t pos = 0;
        CheckError error;
        if (!sawVersion_) {
            sawVersion_ = true;
            if (!checker_.Begin(tokens[0], 0, &error)) return Report(file, line, error);
            versionOk_ = true;
            pos = 1;
        }
        if (!versionOk_) return E_FAIL;  // nothing can be checked without a version
        while (pos < count) {
            if (checker_.Ended()) {
                error.code = kCheckAfterMain;
                error.text = "tokens after the end token";
                return Report(file, line, error);
            }
            ShaderChecker::Element kind;
            size_t consumed = 0;
            if (!checker_.Next(tokens + pos, count - pos, pos, &kind, &consumed, nullptr, &error)) {
                return Report(file, line, error);
            }
            pos += consumed;
        }
        return S_OK;
    }

    HRESULT End() override {
        if (!begun_) return D3DERR_INVALIDCALL;
        begun_ = false;
        CheckError error;
        if (!versionOk_) return failed_ ? E_FAIL : S_OK;
        if (!checker_.Ended()) {
            error.code = kCheckMissingEnd;
            error.text = "the shader has no end token";
            return Report(nullptr, 0, error);
        }
        if (!checker_.Finish(&error)) return Report(nullptr, 0, error);
        return failed_ ? E_FAIL : S_OK;
    }

private:
    HRESULT Report(const char* file, UINT line, const CheckError& error) {
        failed_ = true;
        if (callback_) callback_(file, line, kValidatorError, static_cast<DWORD>(error.code), error.text.c_str(), context_);
        return E_FAIL;
    }

    std::atomic<ULONG> refs_{1};
    ShaderValidatorCallback callback_ = nullptr;
    void* context_ = nullptr;
    bool begun_ = false;
    bool sawVersion_ = false;
    bool versionOk_ = false;
    bool failed_ = false;
    ShaderChecker checker_;
};

}  // namespace

IDirect3DShaderValidator9* Direct3DShaderValidatorCreate9() { return new ShaderValidator(); }

void RegisterShaderValidatorExport() {
    platform::RegisterModuleExport("d3d9.dll", "Direct3DShaderValidatorCreate9",
                                   reinterpret_cast<FARPROC>(&Direct3DShaderValidatorCreate9));
}

}  // namespace gfx
