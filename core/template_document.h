#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <tinyxml2.h>

#include "core/effect_template.h"
#include "core/render_result.h"
#include "core/xml_document.h"

namespace grinsnap {

class CProcessEngine;

// What a template document may hold. No template nests its filters
// anywhere near this deep or gives one element this many children; a
// document beyond them is refused before a template is made from it.
inline constexpr XmlLimits kTemplateDocumentLimits{.maxDepth = 64, .maxChildren = 256};

// A parsed effect template document. Templates point into it, so it is
// shared: each template made from it keeps it alive.
class TemplateDocument {
public:
  // Null when the file cannot be read (only regular files of at most
  // kTemplateDocumentLimits.maxBytes are), does not parse or breaks the
  // limits above; error says why. UTF-16 documents are read as UTF-8.
  static std::shared_ptr<TemplateDocument> FromFile(const std::filesystem::path& path, std::string* error = nullptr);
  static std::shared_ptr<TemplateDocument> FromText(std::string_view text, std::string* error = nullptr);

  const tinyxml2::XMLElement* Root() const { return xml_.RootElement(); }
  // The `filter` child of the document element: the template element.
  const tinyxml2::XMLElement* TemplateElement() const;
  // The name attribute of the `template` child; null when it is missing.
  const char* DisplayName() const;
  // The registered template class named by the `filter` child; null when missing.
  const char* TemplateClassName() const;

private:
  tinyxml2::XMLDocument xml_;
};

// Creates the template a document names, loaded, holding one reference.
// Null when the document has no `filter` child or names no registered
// template class.
CEffectTemplate* CreateTemplateFromDocument(const std::shared_ptr<const TemplateDocument>& document,
                                            const std::filesystem::path& folder, CProcessEngine* engine = nullptr);

// Gallery thumbnails are fitted into this box.
inline constexpr int kThumbnailWidth = 129;
inline constexpr int kThumbnailHeight = 86;

// The size a picture gets when fitted into the thumbnail box, keeping its
// aspect ratio: factor min(129 / w, 86 / h), sides rounded to nearest.
cv::Size ThumbnailFitSize(cv::Size picture);

// Renders a gallery thumbnail of a template from the current inputs:
// SetInputPhotos, PrepareOutput(129, 86), thumbnail mode on, ApplyParams, Process,
// output fitted into 129 x 86, thumbnail mode off. The thumbnail is empty
// unless the render finished with an output.
RenderResult RenderGalleryThumbnail(CEffectTemplate& effect, std::span<PhotoItem> inputs, cv::Mat& thumbnail);

}  // namespace grinsnap
