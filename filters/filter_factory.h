#pragma once

#include <filesystem>
#include <memory>

#include "core/variable_block.h"
#include "filters/image_filter.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

// Creates a filter by name and runs its creation sequence: element,
// variables, shareSources, folder, Load. Null when the name is not a
// registered filter.
std::unique_ptr<CImageFilter> CreateFilterFromXml(const char* className, const tinyxml2::XMLElement* element,
                                                  const std::filesystem::path& folder, bool shareSources,
                                                  VariableBlock block);

// A nested filter of a filter: created from a child `filter` element with
// the parent's folder and no block, and joined to the parent's abort tree.
std::unique_ptr<CImageFilter> CreateNestedFilter(const CImageFilter& parent, const tinyxml2::XMLElement* element,
                                                 bool shareSources);

// Renders a nested filter from in at in's size into picture, 8-bit BGR of
// in's size (empty when the filter gives no picture). Returns false when the
// run was cancelled; a failed run throws its message.
bool RenderNested(CImageFilter& nested, const cv::Mat& in, cv::Mat& picture);

}  // namespace grinsnap
