#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace grinsnap {

class TemplateColumn;
class TemplateEntry;

// Item states of the gallery. Online templates move 1 -> 2 -> 3 (or -> -1,
// from where a retry goes to 2 again); local templates stay 0.
inline constexpr int kItemDownloadFailed = -1;
inline constexpr int kItemLocal = 0;
inline constexpr int kItemOnline = 1;
inline constexpr int kItemDownloading = 2;
inline constexpr int kItemDownloaded = 3;

// One template tile of the gallery.
struct GalleryItem {
  std::string path;     // the column path the item was filed under
  std::string caption;  // the entry's name through the language dictionary
  int state = kItemLocal;
  int progress = -1;    // per cent of a running download, -1 when none runs
  TemplateEntry* entry = nullptr;  // not owned; lives in the template library
};

// A rectangle in pixels: left/top inclusive, width and height.
struct GalleryRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool Contains(int x, int y) const { return x >= left && x < Right() && y >= top && y < Bottom(); }
  bool operator==(const GalleryRect&) const = default;
};

// One node of the group tree: a tab (a child of the root) or a subgroup.
// Positions are in pixels of the tab's content, before scrolling.
struct GalleryGroup {
  std::string key;      // one segment of a column path
  std::string caption;  // the key through the dictionary, asterisks removed
  std::vector<std::unique_ptr<GalleryGroup>> subgroups;
  std::vector<std::unique_ptr<GalleryItem>> items;
  std::vector<int> visible;  // indexes into items of the tiles shown
  bool expanded = true;
  bool isTab = false;
  int y = 0;       // a subgroup's top, where its header slot starts; 0 for a tab
  int height = 0;  // tiles plus subgroups, without the group's own header
  int scroll = 0;  // a tab's scroll offset

  // Where the group's tiles start: below the header of a subgroup.
  int ContentTop() const;
};

// Where a point of the list falls.
struct GalleryHit {
  enum Kind { kNone, kHeader, kItem };
  Kind kind = kNone;
  GalleryGroup* group = nullptr;  // the header's group, or the group holding the tile
  GalleryItem* item = nullptr;
  int slot = -1;                  // the tile's place among the group's visible items
};

// A tile that is at least partly inside the list's client area.
struct GalleryTile {
  GalleryGroup* group = nullptr;
  int slot = 0;
  GalleryItem* item = nullptr;
  GalleryRect rect;  // client coordinates
};

// The scroll bar's thumb in client coordinates.
struct GalleryThumb {
  bool shown = false;  // only when the tab is taller than the client area
  int top = 0;
  int height = 0;
};

// The template gallery without any drawing: the group tree built from the
// library's column paths (the top level are the tabs), the layout of group
// headers and two-column tiles, expand/collapse, scrolling, hit testing,
// which items are hidden, and the online item states.
//
// The tab shows its own tiles first, then each subgroup: a 35-pixel header
// slot and, while expanded, the subgroup's tiles and subgroups in turn.
class GalleryLayout {
public:
  static constexpr int kTileWidth = 135;
  static constexpr int kTileHeight = 108;
  static constexpr int kRowHeight = 118;
  static constexpr int kColumnStep = 143;
  static constexpr int kTileLeft = 8;
  static constexpr int kTileTop = 10;  // above the first row, and the slack below the last
  static constexpr int kHeaderHeight = 35;
  static constexpr int kHeaderLeft = 8;
  static constexpr int kHeaderTop = 10;
  static constexpr int kHeaderRight = 274;
  static constexpr int kWheelStep = 40;  // pixels per wheel notch
  // Width the two tile columns need.
  static constexpr int kContentWidth = kColumnStep + kTileLeft + kTileWidth + kTileLeft;

  using Translator = std::function<std::string(std::string_view)>;

  GalleryLayout() = default;
  GalleryLayout(const GalleryLayout&) = delete;
  GalleryLayout& operator=(const GalleryLayout&) = delete;

  // Rebuilds the tree from the columns in order: each column path is split
  // at '/' (and '\', which the shipped lists use) into groups, reusing a
  // child whose key matches exactly; then every entry becomes an item of its
  // column's group. Lays out with showAll, selects tab 0 at the top.
  void Build(const std::vector<std::unique_ptr<TemplateColumn>>& columns, const Translator& translate,
             bool showAll);
  // Captions again, after a change of language.
  void Retranslate(const Translator& translate);

  // Recomputes every tab's visible items, positions and heights, then
  // clamps the current tab's scroll offset.
  void Relayout();
  bool ShowAll() const { return showAll_; }
  void SetShowAll(bool on);

  const std::vector<std::unique_ptr<GalleryGroup>>& Tabs() const { return tabs_; }
  int TabCount() const { return static_cast<int>(tabs_.size()); }
  int CurrentTab() const { return currentTab_; }
  // Null when there are no tabs.
  GalleryGroup* CurrentTabGroup() const;
  // Switches to a tab (clamped); false when nothing changed.
  bool SetCurrentTab(int index);

  // ---- Scrolling (always the current tab's offset) ----
  void SetClientHeight(int height);
  int ClientHeight() const { return clientHeight_; }
  int TotalHeight() const;
  int ScrollOffset() const;
  int MaxScroll() const;
  // Sets the offset clamped to 0 .. total - client; false when it did not change.
  bool SetScroll(int offset);
  // Wheel notches, positive downwards (each kWheelStep pixels).
  bool Wheel(int notches);
  // A thumb drag: the offset at the press plus the pointer's vertical
  // movement scaled by total / client height.
  bool DragScroll(int offsetAtPress, int pointerDy);
  GalleryThumb ScrollThumb() const;

  // ---- Geometry in client coordinates of the current tab ----
  GalleryRect TileRect(const GalleryGroup& group, int slot) const;
  GalleryRect HeaderRect(const GalleryGroup& group) const;
  GalleryHit HitTest(int x, int y) const;
  // The tiles of the current tab that reach into the client area, top to bottom.
  std::vector<GalleryTile> TilesInView() const;
  // The subgroups of the current tab whose header is shown (their parents
  // are expanded), top to bottom, with their depth below the tab (1 = child).
  std::vector<std::pair<GalleryGroup*, int>> HeadersInView() const;

  // Flips a group's expanded flag and relays out.
  void ToggleExpanded(GalleryGroup& group);

  // The item of a library entry; null when the entry has no item.
  GalleryItem* FindItem(const TemplateEntry* entry) const;
  // The tab that holds an item (directly or in a subgroup); -1 when none.
  int TabOf(const GalleryItem* item) const;

  // ---- Rules ----
  // Height of a group's tiles: ceil(n / 2) rows plus the top slack; 0 for none.
  static int TilesHeight(int visibleCount);
  // A translated key loses a leading and a trailing '*' when it is longer
  // than one character and has both.
  static std::string GroupCaption(std::string translated);
  // Splits a column path into its group keys.
  static std::vector<std::string> SplitPath(std::string_view path);
  // The state a new item starts in: local, online, or online and downloaded.
  static int InitialState(const TemplateEntry& entry);
  // Whether the tile is shown with the show-all flag given.
  static bool IsShown(const GalleryItem& item, bool showAll);
  // Whether a double click starts a download: only from state 1 or -1; the
  // item then moves to state 2 with no progress yet.
  static bool BeginDownload(GalleryItem& item);
  // A download ended: installed means the template document is loaded.
  static void FinishDownload(GalleryItem& item, bool installed);
  // The string id of the preview text for a picked item that cannot be
  // used (157 online, 158 failed); 0 when there is none.
  static int PickHintStringId(int state);

private:
  int LayoutGroup(GalleryGroup& group, int top);
  void CollectTiles(GalleryGroup& group, std::vector<GalleryTile>& tiles) const;
  void CollectHeaders(GalleryGroup& group, int depth, std::vector<std::pair<GalleryGroup*, int>>& headers) const;
  GalleryHit HitGroup(GalleryGroup& group, int x, int clientY) const;
  void ClampScroll();

  std::vector<std::unique_ptr<GalleryGroup>> tabs_;
  int currentTab_ = 0;
  int clientHeight_ = 0;
  bool showAll_ = false;
};

}  // namespace grinsnap
