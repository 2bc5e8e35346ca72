// The objects of the timeline: which effect each one is, where it stands and
// how it is initialised, and their ownership. Objects are created on demand
// (the intro layer at start-up, the rest in the loading step) and destroyed in
// the order of creation.
#pragma once

#include <functional>
#include <memory>

#include "demo/emberfall.h"
#include "demo/polygon.h"
#include "gfx/d3d9.h"

namespace demo {

enum class SceneObject { Intro, Fire, Fire2, Fire3, Logo, Scroller, Outro };
constexpr int kSceneObjectCount = 7;

enum class EffectKind { Polygon, Emberfall };

struct SceneObjectSpec {
    SceneObject object;
    const char* label;
    EffectKind kind;
    float x, y, z;        // position given to the constructor
    const char* effect;   // first Init argument: names the shader files
    const char* texture;  // polygon layers: texture file, half-width, half-height, scale
    float halfWidth, halfHeight, scale;
};

// In order of creation, which is also the order of destruction.
extern const SceneObjectSpec kSceneObjects[kSceneObjectCount];
const SceneObjectSpec& SpecOf(SceneObject object);

// Lets tests watch the objects' lives without a screen.
enum class SceneEvent { Created, Rendered, Destroyed };
using SceneObserver = std::function<void(SceneEvent, SceneObject)>;
void SetSceneObserver(SceneObserver observer);

class Scene {
public:
    explicit Scene(IDirect3DDevice9* device) : device_(device) {}
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Constructs the object at its position with the device and initialises
    // it with its arguments; does nothing when it exists already.
    void Create(SceneObject object);
    // Draws the object into the current scene; does nothing when it has not
    // been created.
    void Render(SceneObject object);
    bool Exists(SceneObject object) const { return exists_[Index(object)]; }
    IDirect3DDevice9* device() const { return device_; }

private:
    static int Index(SceneObject object) { return static_cast<int>(object); }
    void Destroy(SceneObject object);

    IDirect3DDevice9* device_;
    // One owned effect per entry, of the kind its entry names.
    bool exists_[kSceneObjectCount] = {};
    std::unique_ptr<cPolygon> polygons_[kSceneObjectCount];
    std::unique_ptr<cEmberfall> fires_[kSceneObjectCount];
};

}  // namespace demo
