#include "core/template_document.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "core/photo_item.h"
#include "core/registry.h"
#include "core/render.h"

namespace grinsnap {

std::shared_ptr<TemplateDocument> TemplateDocument::FromText(std::string_view text, std::string* error) {
  auto document = std::make_shared<TemplateDocument>();
  if (!ParseXmlText(document->xml_, text, kTemplateDocumentLimits, error)) return nullptr;
  return document;
}

std::shared_ptr<TemplateDocument> TemplateDocument::FromFile(const std::filesystem::path& path, std::string* error) {
  std::string text;
  std::string reason;
  if (!ReadRegularFile(path, text, kTemplateDocumentLimits.maxBytes, &reason)) {
    if (error) *error = "cannot read " + reason;
    return nullptr;
  }
  auto document = FromText(text, &reason);
  if (!document && error) *error = path.string() + ": " + reason;
  return document;
}

const tinyxml2::XMLElement* TemplateDocument::TemplateElement() const {
  return Root() ? Root()->FirstChildElement("filter") : nullptr;
}

const char* TemplateDocument::DisplayName() const {
  const tinyxml2::XMLElement* element = Root() ? Root()->FirstChildElement("template") : nullptr;
  return element ? element->Attribute("name") : nullptr;
}

const char* TemplateDocument::TemplateClassName() const {
  const tinyxml2::XMLElement* element = TemplateElement();
  return element ? element->Attribute("name") : nullptr;
}

CEffectTemplate* CreateTemplateFromDocument(const std::shared_ptr<const TemplateDocument>& document,
                                            const std::filesystem::path& folder, CProcessEngine* engine) {
  if (!document || !document->TemplateElement()) return nullptr;
  CEffectTemplate* created = CreateTemplate(document->TemplateClassName(), document->DisplayName(),
                                            document->TemplateElement(), folder, engine);
  if (created) created->KeepDocument(document);
  return created;
}

cv::Size ThumbnailFitSize(cv::Size picture) {
  return FitInside(picture, {kThumbnailWidth, kThumbnailHeight}, true);
}

RenderResult RenderGalleryThumbnail(CEffectTemplate& effect, std::span<PhotoItem> inputs, cv::Mat& thumbnail) {
  thumbnail.release();
  RenderResult result = Render(effect, {.photos = inputs,
                                        .size = OutputSize::Fit({kThumbnailWidth, kThumbnailHeight}),
                                        .thumbnailMode = true});
  if (!result.IsFinished()) return result;
  return Guarded([&] {
    const cv::Mat* output = effect.GetOutput();
    if (output && !output->empty())
      cv::resize(*output, thumbnail, ThumbnailFitSize(output->size()), 0, 0, cv::INTER_AREA);
    return RenderResult::Done();
  });
}

}  // namespace grinsnap
