#include "core/render.h"

#include "core/effect_template.h"
#include "core/photo_item.h"

namespace grinsnap {

RenderResult Render(CTemplateObject& object, const RenderRequest& request) {
  auto* effect = dynamic_cast<CEffectTemplate*>(&object);
  bool thumbnailMode = false;
  RenderResult result = Guarded([&] {
    if (request.photos && effect) effect->SetInputPhotos(*request.photos);
    if (request.sources) object.SetSources(*request.sources);
    if (request.size) object.PrepareOutput(request.size->box ? &*request.size->box : nullptr);
    if (effect && request.thumbnailMode) {
      effect->SetThumbnailMode(true);
      thumbnailMode = true;
    }
    if (effect && request.applyParams) effect->ApplyParams();
    if (request.seed)
      object.SetSeed(*request.seed);
    else if (request.reseed)
      object.Reseed();
    if (!request.process) return RenderResult::Done();
    object.Process();
    return object.LastRun();
  });
  if (request.process) object.ClearAbort();
  if (thumbnailMode) {
    RenderResult off = Guarded([&] {
      effect->SetThumbnailMode(false);
      return RenderResult::Done();
    });
    result = Worse(result, off);
  }
  return result;
}

}  // namespace grinsnap
