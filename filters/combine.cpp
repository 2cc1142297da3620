#include "filters/combine.h"

#include <tinyxml2.h>

#include "core/xml_params.h"
#include "filters/filter_factory.h"

namespace grinsnap {

CF_Combine::CF_Combine() : CImageFilter(kTraits) { SetClassName(kClassName); }

CF_Combine::~CF_Combine() = default;

int CF_Combine::Load() {
  links_.clear();
  if (!element_) return 0;
  static constexpr const char* kVarNames[3] = {"var1", "var2", "var3"};
  static constexpr const char* kDefNames[3] = {"def1", "def2", "def3"};
  for (const tinyxml2::XMLElement* child = element_->FirstChildElement("filter"); child;
       child = child->NextSiblingElement("filter")) {
    // Later filters take the previous output as it is, without copying it.
    const bool share = !links_.empty();
    Link link;
    link.filter = CreateNestedFilter(*this, child, share);
    if (!link.filter) continue;
    const tinyxml2::XMLElement* comp = child->FirstChildElement("comp");
    for (int k = 0; k < 3; ++k) {
      int index = -1;
      ReadAttribute(comp, kVarNames[k], index);
      link.index[k] = (index >= 0 && index <= 2) ? index : -1;
      ReadAttribute(comp, kDefNames[k], link.defaults[k]);
    }
    links_.push_back(std::move(link));
  }
  return 0;
}

void CF_Combine::SetSources(std::span<const cv::Mat> images) {
  if (!links_.empty()) links_.front().filter->SetSources(images);
}

bool CF_Combine::PrepareOutput(const cv::Size* box) {
  hasBox_ = box != nullptr;
  if (box) box_ = *box;
  return links_.empty() ? false : links_.front().filter->PrepareOutput(box);
}

void CF_Combine::ForEachNested(const std::function<void(CImageFilter&)>& visit) {
  for (Link& link : links_) visit(*link.filter);
}

const cv::Mat* CF_Combine::GetOutput() { return links_.empty() ? nullptr : links_.back().filter->GetOutput(); }

bool CF_Combine::RunsInBackground() {
  for (Link& link : links_)
    if (link.filter->RunsInBackground()) return true;
  return false;
}

void CF_Combine::Process() {
  lastRun_ = RenderResult::Done();
  const bool useBox = hasBox_ && !(box_.width == 0 && box_.height == 0);
  for (std::size_t i = 0; i < links_.size(); ++i) {
    Link& link = links_[i];
    link.filter->PrepareOutput(useBox ? &box_ : nullptr);
    const bool mapped = link.index[0] >= 0 || link.index[1] >= 0 || link.index[2] >= 0;
    if (!variables_.Empty() && mapped) {
      for (int k = 0; k < 3; ++k)
        linkBlock_[k] = link.index[k] >= 0 ? Var(link.index[k], 0.0f) : link.defaults[k];
      for (int k = kBlockRoiX; k <= kBlockRoiHeight; ++k) linkBlock_[k] = Var(k, kDefaultVariableBlock[k]);
      linkBlock_[kBlockPointX] = 0.5f;
      linkBlock_[kBlockPointY] = 0.5f;
      link.filter->SetVariables(linkBlock_);
    } else {
      link.filter->SetVariables(nullptr);
    }
    link.filter->Process();
    link.filter->SetVariables(nullptr);
    lastRun_ = Worse(lastRun_, link.filter->LastRun());
    if (StopRequested() || !lastRun_.IsFinished()) {
      if (lastRun_.IsFinished()) lastRun_ = RenderResult::Stopped();
      break;
    }
    if (i + 1 < links_.size()) {
      const cv::Mat* out = link.filter->GetOutput();
      if (out)
        links_[i + 1].filter->SetSources(std::span<const cv::Mat>(out, 1));
      else
        links_[i + 1].filter->SetSources({});
    }
  }
}

}  // namespace grinsnap
