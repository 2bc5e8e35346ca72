#include "demo/scene.h"

#include <utility>

namespace demo {
namespace {

SceneObserver& Observer() {
    static SceneObserver observer;
    return observer;
}

void Notify(SceneEvent event, SceneObject object) {
    if (Observer()) Observer()(event, object);
}

}  // namespace

const SceneObjectSpec kSceneObjects[kSceneObjectCount] = {
    {SceneObject::Intro, "intro", EffectKind::Polygon, 0, 0, 4.2f, "Simple", "intro.png", 4, 3, 1.0f},
    {SceneObject::Fire, "Fire", EffectKind::Emberfall, 0, -6, 25, "Fire", nullptr, 0, 0, 0},
    {SceneObject::Fire2, "Fire2", EffectKind::Emberfall, 0, -6, 25, "Fire2", nullptr, 0, 0, 0},
    {SceneObject::Fire3, "Fire3", EffectKind::Emberfall, 0, -6, 25, "Fire3", nullptr, 0, 0, 0},
    {SceneObject::Logo, "logo", EffectKind::Polygon, 0, 10.3f, 19, "Simple", "logo.png", 10, 1, 1.5f},
    {SceneObject::Scroller, "scroller", EffectKind::Polygon, 400, -28, 50, "Scroller", "scrolltext.png", 187, 1, 1.5f},
    {SceneObject::Outro, "outro", EffectKind::Polygon, 0, 0, 4.2f, "Simple", "outro.png", 4, 3, 1.0f},
};

const SceneObjectSpec& SpecOf(SceneObject object) { return kSceneObjects[static_cast<int>(object)]; }

void SetSceneObserver(SceneObserver observer) { Observer() = std::move(observer); }

Scene::~Scene() {
    for (const SceneObjectSpec& entry : kSceneObjects) Destroy(entry.object);
}

void Scene::Create(SceneObject object) {
    if (Exists(object)) return;
    exists_[Index(object)] = true;
    const SceneObjectSpec& entry = SpecOf(object);
    const KLVECTOR3 at{entry.x, entry.y, entry.z};
    if (entry.kind == EffectKind::Polygon) {
        auto layer = std::make_unique<cPolygon>(device_, at);
        layer->Init(entry.effect, entry.texture, static_cast<int>(entry.halfWidth), static_cast<int>(entry.halfHeight),
                    entry.scale);
        polygons_[Index(object)] = std::move(layer);
    } else {
        auto fire = std::make_unique<cEmberfall>(device_, at);
        fire->Init(entry.effect);
        fires_[Index(object)] = std::move(fire);
    }
    Notify(SceneEvent::Created, object);
}

void Scene::Render(SceneObject object) {
    if (!Exists(object)) return;
    if (auto& layer = polygons_[Index(object)]) layer->Render();
    if (auto& fire = fires_[Index(object)]) fire->Render();
    Notify(SceneEvent::Rendered, object);
}

void Scene::Destroy(SceneObject object) {
    if (!Exists(object)) return;
    exists_[Index(object)] = false;
    polygons_[Index(object)].reset();
    fires_[Index(object)].reset();
    Notify(SceneEvent::Destroyed, object);
}

}  // namespace demo
