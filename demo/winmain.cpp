// The driver: window, device, camera, the main loop and shut-down.
#include "demo/winmain.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>

#include "demo/clock.h"
#include "demo/dx.h"
#include "demo/load_report.h"
#include "demo/scene.h"
#include "demo/timeline.h"
#include "math/klmath.h"
#include "platform/mci.h"

int demo_state = 0;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

D3DMATRIX ToDeviceMatrix(const KLMATRIX& m) {
    static_assert(sizeof(D3DMATRIX) == sizeof(KLMATRIX));
    D3DMATRIX out;
    std::memcpy(&out, &m, sizeof(out));
    return out;
}

D3DMATRIX Identity() {
    KLMATRIX identity;
    KLMatrixIdentity(&identity);
    return ToDeviceMatrix(identity);
}

// Camera for the whole run: 60 degree vertical field of view, 4:3, near 2,
// far 100; view and world stay identity.
void SetCamera(IDirect3DDevice9* device) {
    KLMATRIX projection;
    KLMatrixPerspectiveFovLH(&projection, std::numbers::pi_v<float> / 3.0f, 4.0f / 3.0f, 2.0f, 100.0f);
    D3DMATRIX deviceProjection = ToDeviceMatrix(projection);
    D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_PROJECTION, &deviceProjection);
    device->SetTransform(D3DTS_VIEW, &identity);
}

// The one-time loading step, after the intro has been drawn: the music, then
// every object but the intro layer, in the order of the object table.
void LoadEverythingElse(demo::Scene& scene) {
    if (MCIERROR error = mciSendStringA("open m.mp3 type mpegvideo alias music", nullptr, 0, nullptr)) {
        char text[128] = "";
        mciGetErrorStringA(error, text, sizeof(text));
        demo::ReportLoadFailure("play", "m.mp3", text);
    }
    mciSendStringA("play music from 0", nullptr, 0, nullptr);
    for (const demo::SceneObjectSpec& entry : demo::kSceneObjects)
        if (entry.object != demo::SceneObject::Intro) scene.Create(entry.object);
}

void RunSceneStep(const demo::SceneStep& step, demo::Scene& scene, IDirect3DDevice9* device) {
    if (step.load) {
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    if (step.linearMagFilter) device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    for (int i = 0; i < step.drawCount; ++i) scene.Render(step.draws[i]);
    if (step.load) LoadEverythingElse(scene);
    if (step.postQuit) PostQuitMessage(0);
}

}  // namespace

LRESULT MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_PAINT: ValidateRect(window, nullptr); return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE)
                demo_state = demo::kStateOutro;
            else
                PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    demo_state = demo::kStateLoad;

    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = MsgProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "myWindow";
    RegisterClassA(&windowClass);

    HWND window = CreateWindowExA(0, "myWindow", "Cinderglow", WS_OVERLAPPEDWINDOW, 100, 100, kWidth, kHeight,
                                  GetDesktopWindow(), nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);

    auto owner = std::make_unique<dx>();
    owner->initDx3D(window, kWidth, kHeight, false);
    IDirect3DDevice9* device = owner->device;
    if (!device) {
        std::fprintf(stderr, "cinderglow: the graphics device could not be created\n");
        return 1;
    }
    SetCamera(device);

    auto scene = std::make_unique<demo::Scene>(device);
    scene->Create(demo::SceneObject::Intro);

    demo::Timeline timeline(demo_state, getTheTime);
    timeline.Start();

    const D3DMATRIX identity = Identity();
    bool running = true;
    while (running) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        device->SetTransform(D3DTS_WORLD, &identity);
        RunSceneStep(timeline.Step(), *scene, device);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);

        // Drain the whole queue, also after the quit request.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) running = false;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    scene.reset();  // every effect object, in the order of creation
    owner.reset();
    return 0;
}
