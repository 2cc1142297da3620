#include "filters/filter_factory.h"

#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/registry.h"
#include "filters/simple_filter.h"

namespace grinsnap {

std::unique_ptr<CImageFilter> CreateFilterFromXml(const char* className, const tinyxml2::XMLElement* element,
                                                  const std::filesystem::path& folder, bool shareSources,
                                                  VariableBlock block) {
  std::unique_ptr<CImageFilter> filter = TakeAs<CImageFilter>(CreateDataObject(className));
  if (!filter) return nullptr;
  filter->SetElement(element);
  filter->SetVariables(block);
  filter->SetShareSources(shareSources);
  filter->SetFolder(folder);
  filter->Load();
  return filter;
}

std::unique_ptr<CImageFilter> CreateNestedFilter(const CImageFilter& parent, const tinyxml2::XMLElement* element,
                                                 bool shareSources) {
  if (!element) return nullptr;
  std::unique_ptr<CImageFilter> filter =
      CreateFilterFromXml(element->Attribute("name"), element, parent.Folder(), shareSources, nullptr);
  // The nested filter and everything nested in it stop with the parent.
  if (filter) filter->JoinAbortTree(parent);
  return filter;
}

bool RenderNested(CImageFilter& nested, const cv::Mat& in, cv::Mat& picture) {
  nested.SetSources(std::span<const cv::Mat>(&in, 1));
  nested.PrepareOutput(nullptr);
  nested.Process();
  const RenderResult run = nested.LastRun();
  if (run.IsCancelled()) return false;
  if (!run.IsFinished()) throw std::runtime_error(run.message);
  picture.release();
  const cv::Mat* out = nested.GetOutput();
  if (out && !out->empty()) ToBgr8(*out, picture);
  if (!picture.empty() && picture.size() != in.size())
    cv::resize(picture, picture, in.size(), 0, 0, cv::INTER_LINEAR);
  return true;
}

}  // namespace grinsnap
