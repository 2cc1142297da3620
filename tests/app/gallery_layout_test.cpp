#include <gtest/gtest.h>

#include "app/gallery_layout.h"
#include "app/string_table.h"
#include "app/template_library.h"

namespace grinsnap {
namespace {

using Rect = GalleryRect;

// Columns and entries built in memory, as the library would hand them over.
class Columns {
public:
  TemplateEntry* Add(const std::string& path, const std::string& name, bool hide = false) {
    if (columns_.empty() || columns_.back()->path != path) {
      columns_.push_back(std::make_unique<TemplateColumn>());
      columns_.back()->path = path;
      columns_.back()->name = path;
    }
    auto entry = std::make_unique<TemplateEntry>();
    entry->name = name;
    entry->hide = hide;
    columns_.back()->entries.push_back(std::move(entry));
    return columns_.back()->entries.back().get();
  }
  void AddMany(const std::string& path, int count) {
    for (int i = 0; i < count; ++i) Add(path, path + "#" + std::to_string(i));
  }
  const std::vector<std::unique_ptr<TemplateColumn>>& Get() const { return columns_; }

private:
  std::vector<std::unique_ptr<TemplateColumn>> columns_;
};

std::vector<std::string> Keys(const std::vector<std::unique_ptr<GalleryGroup>>& groups) {
  std::vector<std::string> keys;
  for (const auto& g : groups) keys.push_back(g->key);
  return keys;
}

std::vector<std::string> Captions(const GalleryGroup& group) {
  std::vector<std::string> captions;
  for (const auto& item : group.items) captions.push_back(item->caption);
  return captions;
}

TEST(GalleryLayout, ColumnPathsBuildTabsAndNestedGroups) {
  Columns c;
  c.Add("Tab1/Group/Sub", "a");
  c.Add("Tab2", "b");
  c.Add("Tab1/Group/Other", "c");
  c.Add("Tab1", "d");
  c.Add("tab1\\Group", "e");  // keys match exactly; the shipped lists separate with '\'
  c.Add("Tab1//Group/", "f");  // empty segments make no groups
  GalleryLayout layout;
  layout.Build(c.Get(), nullptr, false);

  ASSERT_EQ(Keys(layout.Tabs()), (std::vector<std::string>{"Tab1", "Tab2", "tab1"}));
  const GalleryGroup& tab1 = *layout.Tabs()[0];
  EXPECT_TRUE(tab1.isTab);
  EXPECT_EQ(Captions(tab1), (std::vector<std::string>{"d"}));
  ASSERT_EQ(Keys(tab1.subgroups), (std::vector<std::string>{"Group"}));
  const GalleryGroup& group = *tab1.subgroups[0];
  EXPECT_FALSE(group.isTab);
  EXPECT_EQ(Captions(group), (std::vector<std::string>{"f"}));
  // Three segments: two nested groups under the tab; the second column
  // sharing two segments shares both.
  ASSERT_EQ(Keys(group.subgroups), (std::vector<std::string>{"Sub", "Other"}));
  EXPECT_EQ(Captions(*group.subgroups[0]), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Captions(*group.subgroups[1]), (std::vector<std::string>{"c"}));
  EXPECT_EQ(Captions(*layout.Tabs()[1]), (std::vector<std::string>{"b"}));
  EXPECT_EQ(Keys(layout.Tabs()[2]->subgroups), (std::vector<std::string>{"Group"}));
  EXPECT_EQ(group.subgroups[0]->items[0]->path, "Tab1/Group/Sub");
  EXPECT_EQ(layout.CurrentTab(), 0);
  EXPECT_EQ(layout.ScrollOffset(), 0);
}

TEST(GalleryLayout, SplitPath) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"A", {"A"}},
      {"A/B/C", {"A", "B", "C"}},
      {"2D Templates\\Color", {"2D Templates", "Color"}},
      {"/A/", {"A"}},
      {"", {""}},
  };
  for (const auto& [path, keys] : cases) EXPECT_EQ(GalleryLayout::SplitPath(path), keys) << path;
}

TEST(GalleryLayout, CaptionsTranslateThenLoseEnclosingAsterisks) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"*Hot*", "Hot"}, {"*", "*"}, {"**", ""}, {"***", "*"}, {"*a", "*a"}, {"a*", "a*"}, {"plain", "plain"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(GalleryLayout::GroupCaption(in), out) << in;

  Columns c;
  c.Add("Key/*Inner*", "*Item*");
  GalleryLayout layout;
  auto translate = [](std::string_view text) {
    return text == "Key" ? std::string("*Translated*") : "[" + std::string(text) + "]";
  };
  layout.Build(c.Get(), translate, false);
  const GalleryGroup& tab = *layout.Tabs()[0];
  EXPECT_EQ(tab.caption, "Translated");  // the rule runs on the translated text
  EXPECT_EQ(tab.subgroups[0]->caption, "[*Inner*]");
  EXPECT_EQ(tab.subgroups[0]->items[0]->caption, "[*Item*]");  // item names keep theirs

  layout.Retranslate([](std::string_view text) { return "*" + std::string(text) + "*"; });
  EXPECT_EQ(tab.caption, "Key");
  EXPECT_EQ(tab.subgroups[0]->items[0]->caption, "**Item**");
}

TEST(GalleryLayout, TileAreaHeight) {
  const int expected[] = {0, 128, 128, 246, 246, 364, 364};
  for (int n = 0; n < 7; ++n) EXPECT_EQ(GalleryLayout::TilesHeight(n), expected[n]) << n;
}

// Tab "T": three tiles of its own, subgroup S with one tile, empty subgroup E.
class TabWithGroups : public testing::Test {
protected:
  void SetUp() override {
    c_.AddMany("T", 3);
    s0_ = c_.Add("T/S", "s0");
    c_.Add("T/E/Deeper", "hidden", true);
    layout_.Build(c_.Get(), nullptr, false);
    layout_.SetClientHeight(200);
  }
  GalleryGroup& Tab() { return *layout_.Tabs()[0]; }
  GalleryGroup& S() { return *Tab().subgroups[0]; }
  GalleryGroup& E() { return *Tab().subgroups[1]; }

  Columns c_;
  TemplateEntry* s0_ = nullptr;
  GalleryLayout layout_;
};

TEST_F(TabWithGroups, PositionsAndHeights) {
  // 246 for three tiles, S: 35 + 128, E: 35 + Deeper's header 35 (its only item is hidden).
  EXPECT_EQ(Tab().height, 246 + 35 + 128 + 35 + 35);
  EXPECT_EQ(layout_.TotalHeight(), 479);
  EXPECT_EQ(S().y, 246);
  EXPECT_EQ(S().ContentTop(), 281);
  EXPECT_EQ(S().height, 128);
  EXPECT_EQ(E().y, 246 + 35 + 128);
  EXPECT_EQ(E().height, 35);
  EXPECT_EQ(E().subgroups[0]->y, 409 + 35);
  EXPECT_TRUE(E().subgroups[0]->visible.empty());

  EXPECT_EQ(layout_.TileRect(Tab(), 0), (Rect{8, 10, 135, 108}));
  EXPECT_EQ(layout_.TileRect(Tab(), 1), (Rect{151, 10, 135, 108}));
  EXPECT_EQ(layout_.TileRect(Tab(), 2), (Rect{8, 128, 135, 108}));
  EXPECT_EQ(layout_.TileRect(S(), 0), (Rect{8, 291, 135, 108}));
  EXPECT_EQ(layout_.HeaderRect(S()), (Rect{8, 256, 266, 25}));
  EXPECT_EQ(layout_.HeaderRect(E()), (Rect{8, 419, 266, 25}));

  ASSERT_TRUE(layout_.SetScroll(100));
  EXPECT_EQ(layout_.TileRect(S(), 0), (Rect{8, 191, 135, 108}));
  EXPECT_EQ(layout_.HeaderRect(S()), (Rect{8, 156, 266, 25}));
}

TEST_F(TabWithGroups, CollapseAndExpand) {
  layout_.SetScroll(279);  // the end
  layout_.ToggleExpanded(S());
  EXPECT_FALSE(S().expanded);
  EXPECT_EQ(layout_.TotalHeight(), 246 + 35 + 35 + 35);
  EXPECT_EQ(E().y, 281);
  // The tab got shorter: the offset follows the new end.
  EXPECT_EQ(layout_.ScrollOffset(), 351 - 200);
  layout_.SetScroll(0);
  // S's tile is gone; E's header moved up into its place.
  EXPECT_EQ(layout_.HitTest(20, 300).group, &E());
  EXPECT_EQ(layout_.HitTest(20, 300).kind, GalleryHit::kHeader);
  layout_.ToggleExpanded(S());
  EXPECT_EQ(layout_.TotalHeight(), 479);
  EXPECT_EQ(layout_.HitTest(20, 300).item->entry, s0_);

  // A collapsed group hides its subgroups, headers included.
  layout_.ToggleExpanded(E());
  EXPECT_EQ(layout_.TotalHeight(), 246 + 35 + 128 + 35);
}

TEST_F(TabWithGroups, HitTesting) {
  struct Case {
    int x, y;
    GalleryHit::Kind kind;
    const char* what;  // item name or group key
  };
  const Case cases[] = {
      {8, 10, GalleryHit::kItem, "T#0"},       {142, 117, GalleryHit::kItem, "T#0"},
      {143, 50, GalleryHit::kNone, ""},        {150, 50, GalleryHit::kNone, ""},
      {151, 50, GalleryHit::kItem, "T#1"},     {285, 117, GalleryHit::kItem, "T#1"},
      {286, 50, GalleryHit::kNone, ""},        {50, 9, GalleryHit::kNone, ""},
      {50, 118, GalleryHit::kNone, ""},        {50, 128, GalleryHit::kItem, "T#2"},
      {200, 150, GalleryHit::kNone, ""},       {50, 255, GalleryHit::kNone, ""},
      {8, 256, GalleryHit::kHeader, "S"},      {273, 280, GalleryHit::kHeader, "S"},
      {274, 270, GalleryHit::kNone, ""},       {50, 281, GalleryHit::kNone, ""},
      {50, 291, GalleryHit::kItem, "s0"},      {50, 420, GalleryHit::kHeader, "E"},
      {50, 455, GalleryHit::kHeader, "Deeper"}, {-1, 20, GalleryHit::kNone, ""},
  };
  for (const Case& c : cases) {
    const GalleryHit hit = layout_.HitTest(c.x, c.y);
    EXPECT_EQ(hit.kind, c.kind) << c.x << "," << c.y;
    if (hit.kind == GalleryHit::kItem) {
      EXPECT_EQ(hit.item->entry->name, c.what) << c.x << "," << c.y;
    } else if (hit.kind == GalleryHit::kHeader) {
      EXPECT_EQ(hit.group->key, c.what) << c.x << "," << c.y;
    }
  }
  const GalleryHit third = layout_.HitTest(50, 130);
  EXPECT_EQ(third.slot, 2);
  EXPECT_EQ(third.group, &Tab());

  // The same content point after scrolling.
  layout_.SetScroll(150);
  EXPECT_EQ(layout_.HitTest(50, 291 - 150).item->entry, s0_);
  EXPECT_EQ(layout_.HitTest(50, 256 - 150).kind, GalleryHit::kHeader);
}

TEST_F(TabWithGroups, TilesAndHeadersInView) {
  auto names = [&] {
    std::vector<std::string> out;
    for (const GalleryTile& t : layout_.TilesInView()) out.push_back(t.item->entry->name);
    return out;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"T#0", "T#1", "T#2"}));
  layout_.SetScroll(100);  // T#0/T#1 end at 118 - 100 = 18: still partly in view
  EXPECT_EQ(names(), (std::vector<std::string>{"T#0", "T#1", "T#2", "s0"}));
  layout_.SetScroll(120);
  EXPECT_EQ(names(), (std::vector<std::string>{"T#2", "s0"}));
  const auto headers = layout_.HeadersInView();
  ASSERT_EQ(headers.size(), 1u);  // S at 136; E at 299 is below the client area
  EXPECT_EQ(headers[0].first, &S());
  EXPECT_EQ(headers[0].second, 1);
  EXPECT_EQ(layout_.TilesInView()[1].rect, (Rect{8, 171, 135, 108}));

  layout_.SetClientHeight(1000);
  const auto all = layout_.HeadersInView();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].first->key, "Deeper");
  EXPECT_EQ(all[2].second, 2);
}

TEST_F(TabWithGroups, ScrollingClamps) {
  EXPECT_EQ(layout_.MaxScroll(), 479 - 200);
  EXPECT_TRUE(layout_.SetScroll(10000));
  EXPECT_EQ(layout_.ScrollOffset(), 279);
  EXPECT_FALSE(layout_.Wheel(1));  // already at the end
  EXPECT_TRUE(layout_.SetScroll(-5));
  EXPECT_EQ(layout_.ScrollOffset(), 0);
  EXPECT_TRUE(layout_.Wheel(2));
  EXPECT_EQ(layout_.ScrollOffset(), 80);
  EXPECT_TRUE(layout_.Wheel(-1));
  EXPECT_EQ(layout_.ScrollOffset(), 40);
  EXPECT_TRUE(layout_.Wheel(-3));
  EXPECT_EQ(layout_.ScrollOffset(), 0);

  // Thumb drag: movement times total / client, from the offset at the press.
  EXPECT_TRUE(layout_.DragScroll(0, 50));
  EXPECT_EQ(layout_.ScrollOffset(), 50 * 479 / 200);
  EXPECT_TRUE(layout_.DragScroll(0, 7));
  EXPECT_EQ(layout_.ScrollOffset(), 16);
  EXPECT_TRUE(layout_.DragScroll(100, -300));
  EXPECT_EQ(layout_.ScrollOffset(), 0);
  EXPECT_TRUE(layout_.DragScroll(0, 500));
  EXPECT_EQ(layout_.ScrollOffset(), 279);

  // A taller client area pulls the offset back; one taller than the tab never scrolls.
  layout_.SetClientHeight(400);
  EXPECT_EQ(layout_.ScrollOffset(), 79);
  layout_.SetClientHeight(479);
  EXPECT_EQ(layout_.ScrollOffset(), 0);
  EXPECT_FALSE(layout_.Wheel(3));
  EXPECT_FALSE(layout_.DragScroll(0, 40));
  EXPECT_FALSE(layout_.ScrollThumb().shown);
}

TEST_F(TabWithGroups, ScrollThumb) {
  GalleryThumb thumb = layout_.ScrollThumb();
  ASSERT_TRUE(thumb.shown);
  EXPECT_EQ(thumb.height, 200 * 200 / 479);
  EXPECT_EQ(thumb.top, 0);
  layout_.SetScroll(279);
  thumb = layout_.ScrollThumb();
  EXPECT_EQ(thumb.top, 279 * 200 / 479);
  EXPECT_LE(thumb.top + thumb.height, 200);
  // A very tall tab still gets a thumb one can grab.
  Columns tall;
  tall.AddMany("T", 400);
  GalleryLayout layout;
  layout.Build(tall.Get(), nullptr, false);
  layout.SetClientHeight(100);
  layout.SetScroll(1 << 30);
  thumb = layout.ScrollThumb();
  EXPECT_EQ(thumb.height, 16);
  EXPECT_EQ(thumb.top + thumb.height, 100);
}

TEST(GalleryLayout, HiddenItemsAndShowAll) {
  Columns c;
  TemplateEntry* only = c.Add("T/G", "only", true);
  c.Add("T", "a");
  c.Add("T", "b", true);
  c.Add("T", "c");
  GalleryLayout layout;
  layout.Build(c.Get(), nullptr, false);
  GalleryGroup& tab = *layout.Tabs()[0];
  GalleryGroup& g = *tab.subgroups[0];
  // Hiding the only item of a group leaves its header in place.
  EXPECT_TRUE(g.visible.empty());
  EXPECT_EQ(g.height, 0);
  EXPECT_EQ(tab.visible, (std::vector<int>{0, 2}));
  EXPECT_EQ(layout.TotalHeight(), 128 + 35);
  layout.SetClientHeight(500);
  EXPECT_EQ(layout.HitTest(50, 128 + 20).kind, GalleryHit::kHeader);
  EXPECT_EQ(layout.HitTest(160, 20).item->entry->name, "c");  // "b" left no gap

  layout.SetShowAll(true);
  EXPECT_EQ(tab.visible, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(layout.TotalHeight(), 246 + 35 + 128);
  EXPECT_EQ(layout.HitTest(50, 246 + 35 + 20).item->entry, only);

  layout.SetShowAll(false);
  only->hide = false;  // as the context menu does, then relayout
  layout.Relayout();
  EXPECT_EQ(layout.TotalHeight(), 128 + 35 + 128);
}

TEST(GalleryLayout, TabsKeepTheirOwnScrollOffset) {
  Columns c;
  c.AddMany("One", 10);  // 5 rows: 600
  c.AddMany("Two", 2);
  GalleryLayout layout;
  layout.Build(c.Get(), nullptr, false);
  layout.SetClientHeight(300);
  EXPECT_EQ(layout.TotalHeight(), 600);
  layout.SetScroll(250);
  EXPECT_TRUE(layout.SetCurrentTab(1));
  EXPECT_EQ(layout.TotalHeight(), 128);
  EXPECT_EQ(layout.ScrollOffset(), 0);
  EXPECT_FALSE(layout.SetScroll(5));
  EXPECT_TRUE(layout.SetCurrentTab(-3));
  EXPECT_EQ(layout.CurrentTab(), 0);
  EXPECT_EQ(layout.ScrollOffset(), 250);
  EXPECT_TRUE(layout.SetCurrentTab(99));
  EXPECT_EQ(layout.CurrentTab(), 1);
  EXPECT_FALSE(layout.SetCurrentTab(1));

  GalleryLayout empty;
  empty.Build({}, nullptr, false);
  EXPECT_EQ(empty.CurrentTabGroup(), nullptr);
  EXPECT_EQ(empty.TotalHeight(), 0);
  EXPECT_FALSE(empty.SetScroll(10));
  EXPECT_EQ(empty.HitTest(20, 20).kind, GalleryHit::kNone);
  EXPECT_TRUE(empty.TilesInView().empty());
}

TEST(GalleryLayout, FindItemAndItsTab) {
  Columns c;
  TemplateEntry* a = c.Add("A/X", "a");
  TemplateEntry* b = c.Add("B", "b");
  GalleryLayout layout;
  layout.Build(c.Get(), nullptr, false);
  ASSERT_NE(layout.FindItem(a), nullptr);
  EXPECT_EQ(layout.FindItem(a)->entry, a);
  EXPECT_EQ(layout.TabOf(layout.FindItem(a)), 0);
  EXPECT_EQ(layout.TabOf(layout.FindItem(b)), 1);
  TemplateEntry stranger;
  EXPECT_EQ(layout.FindItem(&stranger), nullptr);
  EXPECT_EQ(layout.FindItem(nullptr), nullptr);
  EXPECT_EQ(layout.TabOf(nullptr), -1);
}

TEST(GalleryLayout, OnlineItemStates) {
  TemplateEntry local, online, downloaded;
  online.online = true;
  downloaded.online = downloaded.downloaded = true;
  EXPECT_EQ(GalleryLayout::InitialState(local), kItemLocal);
  EXPECT_EQ(GalleryLayout::InitialState(online), kItemOnline);
  EXPECT_EQ(GalleryLayout::InitialState(downloaded), kItemDownloaded);

  Columns c;
  TemplateEntry* e = c.Add("T", "remote");
  e->online = true;
  GalleryLayout layout;
  layout.Build(c.Get(), nullptr, false);
  EXPECT_EQ(layout.FindItem(e)->state, kItemOnline);

  // Only an online item that is not installed, or whose download failed, starts one.
  const std::pair<int, bool> starts[] = {{kItemLocal, false}, {kItemOnline, true}, {kItemDownloading, false},
                                         {kItemDownloaded, false}, {kItemDownloadFailed, true}};
  for (const auto& [state, started] : starts) {
    GalleryItem item;
    item.state = state;
    item.progress = 55;
    EXPECT_EQ(GalleryLayout::BeginDownload(item), started) << state;
    EXPECT_EQ(item.state, started ? kItemDownloading : state) << state;
    EXPECT_EQ(item.progress, started ? -1 : 55) << state;
  }
  GalleryItem item;
  item.state = kItemDownloading;
  item.progress = 70;
  GalleryLayout::FinishDownload(item, false);
  EXPECT_EQ(item.state, kItemDownloadFailed);
  EXPECT_EQ(item.progress, -1);
  EXPECT_TRUE(GalleryLayout::BeginDownload(item));
  item.progress = 99;
  GalleryLayout::FinishDownload(item, true);
  EXPECT_EQ(item.state, kItemDownloaded);
  EXPECT_EQ(item.progress, -1);

  EXPECT_EQ(GalleryLayout::PickHintStringId(kItemOnline), kIdsDownloadOnlineTemplate);
  EXPECT_EQ(GalleryLayout::PickHintStringId(kItemDownloadFailed), kIdsDownloadFailed);
  for (int state : {kItemLocal, kItemDownloading, kItemDownloaded})
    EXPECT_EQ(GalleryLayout::PickHintStringId(state), 0) << state;
}

}  // namespace
}  // namespace grinsnap
