#include "app/gallery_layout.h"

#include <algorithm>

#include "app/string_table.h"
#include "app/template_library.h"

namespace grinsnap {

int GalleryGroup::ContentTop() const { return isTab ? y : y + GalleryLayout::kHeaderHeight; }

// ---- Building ----

std::vector<std::string> GalleryLayout::SplitPath(std::string_view path) {
  std::vector<std::string> keys;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find_first_of("/\\", start), path.size());
    // "A//B" and a trailing separator would otherwise make groups without a name.
    if (end > start) keys.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  // A column without any path still needs a tab to live in.
  if (keys.empty()) keys.emplace_back();
  return keys;
}

std::string GalleryLayout::GroupCaption(std::string translated) {
  if (translated.size() > 1 && translated.front() == '*' && translated.back() == '*')
    return translated.substr(1, translated.size() - 2);
  return translated;
}

int GalleryLayout::InitialState(const TemplateEntry& entry) {
  if (!entry.online) return kItemLocal;
  return entry.downloaded ? kItemDownloaded : kItemOnline;
}

void GalleryLayout::Build(const std::vector<std::unique_ptr<TemplateColumn>>& columns, const Translator& translate,
                          bool showAll) {
  tabs_.clear();
  currentTab_ = 0;
  showAll_ = showAll;
  for (const auto& column : columns) {
    std::vector<std::unique_ptr<GalleryGroup>>* level = &tabs_;
    GalleryGroup* group = nullptr;
    for (const std::string& key : SplitPath(column->path)) {
      auto found = std::find_if(level->begin(), level->end(), [&](const auto& g) { return g->key == key; });
      if (found == level->end()) {
        auto created = std::make_unique<GalleryGroup>();
        created->key = key;
        created->isTab = level == &tabs_;
        level->push_back(std::move(created));
        found = std::prev(level->end());
      }
      group = found->get();
      level = &group->subgroups;
    }
    for (const auto& entry : column->entries) {
      auto item = std::make_unique<GalleryItem>();
      item->path = column->path;
      item->state = InitialState(*entry);
      item->entry = entry.get();
      group->items.push_back(std::move(item));
    }
  }
  Retranslate(translate);
  Relayout();
}

void GalleryLayout::Retranslate(const Translator& translate) {
  auto text = [&](const std::string& source) { return translate ? translate(source) : source; };
  std::function<void(GalleryGroup&)> visit = [&](GalleryGroup& group) {
    group.caption = GroupCaption(text(group.key));
    for (auto& item : group.items) item->caption = item->entry ? text(item->entry->name) : std::string();
    for (auto& sub : group.subgroups) visit(*sub);
  };
  for (auto& tab : tabs_) visit(*tab);
}

// ---- Layout ----

int GalleryLayout::TilesHeight(int visibleCount) {
  if (visibleCount <= 0) return 0;
  return (visibleCount + 1) / 2 * kRowHeight + kTileTop;
}

bool GalleryLayout::IsShown(const GalleryItem& item, bool showAll) {
  return showAll || !(item.entry && item.entry->hide);
}

int GalleryLayout::LayoutGroup(GalleryGroup& group, int top) {
  group.y = top;
  group.visible.clear();
  for (size_t i = 0; i < group.items.size(); ++i)
    if (IsShown(*group.items[i], showAll_)) group.visible.push_back(static_cast<int>(i));
  const int contentTop = group.ContentTop();
  int height = TilesHeight(static_cast<int>(group.visible.size()));
  for (auto& sub : group.subgroups) {
    // A collapsed subgroup is laid out too, so that it is ready when it opens;
    // only its header counts towards the parent's height.
    LayoutGroup(*sub, contentTop + height);
    height += kHeaderHeight + (sub->expanded ? sub->height : 0);
  }
  group.height = height;
  return height;
}

void GalleryLayout::Relayout() {
  for (auto& tab : tabs_) LayoutGroup(*tab, 0);
  ClampScroll();
}

void GalleryLayout::SetShowAll(bool on) {
  showAll_ = on;
  Relayout();
}

GalleryGroup* GalleryLayout::CurrentTabGroup() const {
  return currentTab_ >= 0 && currentTab_ < TabCount() ? tabs_[static_cast<size_t>(currentTab_)].get() : nullptr;
}

bool GalleryLayout::SetCurrentTab(int index) {
  if (tabs_.empty()) return false;
  index = std::clamp(index, 0, TabCount() - 1);
  if (index == currentTab_) return false;
  currentTab_ = index;
  ClampScroll();
  return true;
}

void GalleryLayout::ToggleExpanded(GalleryGroup& group) {
  group.expanded = !group.expanded;
  Relayout();
}

// ---- Scrolling ----

void GalleryLayout::ClampScroll() {
  for (auto& tab : tabs_) tab->scroll = std::clamp(tab->scroll, 0, std::max(0, tab->height - clientHeight_));
}

void GalleryLayout::SetClientHeight(int height) {
  clientHeight_ = std::max(0, height);
  ClampScroll();
}

int GalleryLayout::TotalHeight() const {
  const GalleryGroup* tab = CurrentTabGroup();
  return tab ? tab->height : 0;
}

int GalleryLayout::ScrollOffset() const {
  const GalleryGroup* tab = CurrentTabGroup();
  return tab ? tab->scroll : 0;
}

int GalleryLayout::MaxScroll() const { return std::max(0, TotalHeight() - clientHeight_); }

bool GalleryLayout::SetScroll(int offset) {
  GalleryGroup* tab = CurrentTabGroup();
  if (!tab) return false;
  const int clamped = std::clamp(offset, 0, MaxScroll());
  if (clamped == tab->scroll) return false;
  tab->scroll = clamped;
  return true;
}

bool GalleryLayout::Wheel(int notches) { return SetScroll(ScrollOffset() + notches * kWheelStep); }

bool GalleryLayout::DragScroll(int offsetAtPress, int pointerDy) {
  if (clientHeight_ <= 0) return false;
  // Measured from the press, so that rounding does not add up over many moves.
  const long long delta = static_cast<long long>(pointerDy) * TotalHeight() / clientHeight_;
  return SetScroll(static_cast<int>(std::clamp<long long>(offsetAtPress + delta, 0, MaxScroll())));
}

GalleryThumb GalleryLayout::ScrollThumb() const {
  const int total = TotalHeight();
  GalleryThumb thumb;
  if (clientHeight_ <= 0 || total <= clientHeight_) return thumb;
  // The thumb stands for the client area within the whole tab; a short one
  // still stays large enough to grab.
  constexpr int kMinThumb = 16;
  thumb.shown = true;
  thumb.height = std::min(clientHeight_,
                          std::max(kMinThumb, static_cast<int>(1LL * clientHeight_ * clientHeight_ / total)));
  thumb.top = std::min(clientHeight_ - thumb.height, static_cast<int>(1LL * ScrollOffset() * clientHeight_ / total));
  return thumb;
}

// ---- Geometry ----

GalleryRect GalleryLayout::TileRect(const GalleryGroup& group, int slot) const {
  return {(slot % 2) * kColumnStep + kTileLeft, (slot / 2) * kRowHeight + kTileTop + group.ContentTop() - ScrollOffset(),
          kTileWidth, kTileHeight};
}

GalleryRect GalleryLayout::HeaderRect(const GalleryGroup& group) const {
  return {kHeaderLeft, group.y + kHeaderTop - ScrollOffset(), kHeaderRight - kHeaderLeft, kHeaderHeight - kHeaderTop};
}

GalleryHit GalleryLayout::HitGroup(GalleryGroup& group, int x, int clientY) const {
  for (size_t slot = 0; slot < group.visible.size(); ++slot) {
    if (TileRect(group, static_cast<int>(slot)).Contains(x, clientY)) {
      GalleryItem* item = group.items[static_cast<size_t>(group.visible[slot])].get();
      return {GalleryHit::kItem, &group, item, static_cast<int>(slot)};
    }
  }
  for (auto& sub : group.subgroups) {
    if (sub->expanded) {
      const GalleryHit inner = HitGroup(*sub, x, clientY);
      if (inner.kind != GalleryHit::kNone) return inner;
    }
    if (HeaderRect(*sub).Contains(x, clientY)) return {GalleryHit::kHeader, sub.get(), nullptr, -1};
  }
  return {};
}

GalleryHit GalleryLayout::HitTest(int x, int y) const {
  GalleryGroup* tab = CurrentTabGroup();
  return tab ? HitGroup(*tab, x, y) : GalleryHit{};
}

void GalleryLayout::CollectTiles(GalleryGroup& group, std::vector<GalleryTile>& tiles) const {
  for (size_t slot = 0; slot < group.visible.size(); ++slot) {
    const GalleryRect rect = TileRect(group, static_cast<int>(slot));
    if (rect.Bottom() <= 0 || rect.top >= clientHeight_) continue;
    tiles.push_back({&group, static_cast<int>(slot), group.items[static_cast<size_t>(group.visible[slot])].get(), rect});
  }
  for (auto& sub : group.subgroups)
    if (sub->expanded) CollectTiles(*sub, tiles);
}

std::vector<GalleryTile> GalleryLayout::TilesInView() const {
  std::vector<GalleryTile> tiles;
  if (GalleryGroup* tab = CurrentTabGroup()) CollectTiles(*tab, tiles);
  return tiles;
}

void GalleryLayout::CollectHeaders(GalleryGroup& group, int depth,
                                   std::vector<std::pair<GalleryGroup*, int>>& headers) const {
  for (auto& sub : group.subgroups) {
    const GalleryRect rect = HeaderRect(*sub);
    if (rect.Bottom() > 0 && rect.top < clientHeight_) headers.emplace_back(sub.get(), depth);
    if (sub->expanded) CollectHeaders(*sub, depth + 1, headers);
  }
}

std::vector<std::pair<GalleryGroup*, int>> GalleryLayout::HeadersInView() const {
  std::vector<std::pair<GalleryGroup*, int>> headers;
  if (GalleryGroup* tab = CurrentTabGroup()) CollectHeaders(*tab, 1, headers);
  return headers;
}

// ---- Lookup ----

namespace {

GalleryItem* FindIn(const GalleryGroup& group, const TemplateEntry* entry) {
  for (const auto& item : group.items)
    if (item->entry == entry) return item.get();
  for (const auto& sub : group.subgroups)
    if (GalleryItem* found = FindIn(*sub, entry)) return found;
  return nullptr;
}

bool Holds(const GalleryGroup& group, const GalleryItem* item) {
  for (const auto& own : group.items)
    if (own.get() == item) return true;
  return std::any_of(group.subgroups.begin(), group.subgroups.end(),
                     [&](const auto& sub) { return Holds(*sub, item); });
}

}  // namespace

GalleryItem* GalleryLayout::FindItem(const TemplateEntry* entry) const {
  if (!entry) return nullptr;
  for (const auto& tab : tabs_)
    if (GalleryItem* found = FindIn(*tab, entry)) return found;
  return nullptr;
}

int GalleryLayout::TabOf(const GalleryItem* item) const {
  for (size_t i = 0; i < tabs_.size(); ++i)
    if (item && Holds(*tabs_[i], item)) return static_cast<int>(i);
  return -1;
}

// ---- Online items ----

bool GalleryLayout::BeginDownload(GalleryItem& item) {
  if (item.state != kItemOnline && item.state != kItemDownloadFailed) return false;
  item.state = kItemDownloading;
  item.progress = -1;
  return true;
}

void GalleryLayout::FinishDownload(GalleryItem& item, bool installed) {
  item.progress = -1;
  item.state = installed ? kItemDownloaded : kItemDownloadFailed;
}

int GalleryLayout::PickHintStringId(int state) {
  if (state == kItemOnline) return kIdsDownloadOnlineTemplate;
  if (state == kItemDownloadFailed) return kIdsDownloadFailed;
  return 0;
}

}  // namespace grinsnap
