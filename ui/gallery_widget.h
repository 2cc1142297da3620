#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include <QImage>
#include <QString>
#include <QWidget>

#include "app/gallery_layout.h"
#include "app/template_download.h"

class QAction;
class QMenu;
class QTabBar;

namespace grinsnap {

struct AppContext;
class GalleryListView;
class GalleryMailbox;
class TemplateEntry;

// Language-file image ids of the tile badges: an online template to
// download, a download running, a failed download, a downloaded template.
// Without them the gallery draws its own badges.
inline constexpr int kImageBadgeOnline = 266;
inline constexpr int kImageBadgeDownloading = 267;
inline constexpr int kImageBadgeFailed = 315;
inline constexpr int kImageBadgeDownloaded = 314;

// The template gallery: a tab bar over the library's top-level groups and,
// below it, a custom-drawn list of the current tab's groups (collapsible
// headers) and template tiles, two per row, showing each template rendered
// on the current input photo.
//
// Thumbnails come from one process-wide idle thread shared by every
// gallery. It renders only the tiles in view of each gallery, on that
// gallery's engine inputs, and hands the pictures back on the interface
// thread; the gallery keeps them per entry until the inputs change.
class GalleryWidget : public QWidget {
  Q_OBJECT
public:
  explicit GalleryWidget(AppContext& app, QWidget* parent = nullptr);
  ~GalleryWidget() override;

  // The library was (re)read: rebuilds the tree, forgets the thumbnails.
  void Reload();
  // The input photos changed: the thumbnails in view are rendered again.
  void InputsChanged();
  // The language changed: captions, menu texts and badges again.
  void RetranslateUi();
  // Shows hidden templates too (the session's show-all flag).
  void SetShowAll(bool on);
  bool ShowAll() const;

  // Where online templates are fetched; null restores the default service.
  // The service must outlive the gallery.
  void SetDownloadService(TemplateDownloadService* service);
  // Starts the download of the selected item when it is an online template
  // not yet installed (a double click on the preview), then announces it as
  // picked again.
  void DownloadSelected();

  // ---- State, for the work area and for tests ----
  const GalleryLayout& Layout() const { return layout_; }
  TemplateEntry* SelectedEntry() const;
  // The preview's hint for the selected item in the current language; empty
  // when it has none (an installed template).
  QString SelectedHint() const;
  // The tooltip of the tile at a point of the list: the template's name.
  QString ToolTipAt(const QPoint& pos);
  // Marks the entry's tile as the selected one (the template chosen
  // elsewhere, by name); null clears the mark. Nothing is emitted.
  void MarkSelected(const TemplateEntry* entry);
  int CurrentTab() const { return layout_.CurrentTab(); }
  void SetCurrentTab(int index);
  QTabBar* TabBar() const { return tabBar_; }
  // The custom-drawn list: mouse and wheel input go there.
  QWidget* ListView() const;
  // The tile of an entry in list coordinates; empty when it is not in the
  // current tab or not shown.
  QRect TileRect(const TemplateEntry& entry) const;
  // The item state of an entry (kItemLocal ...); kItemLocal for an unknown entry.
  int ItemState(const TemplateEntry& entry) const;
  // A thumbnail rendered on the current inputs is there for the entry.
  bool HasThumbnail(const TemplateEntry& entry) const;
  QImage Thumbnail(const TemplateEntry& entry) const;
  // The context menu and its two commands.
  QMenu* ContextMenu() const { return menu_; }
  QAction* HideAction() const { return hideAction_; }
  QAction* ShowAllAction() const { return showAllAction_; }
  // Whether the thumbnail thread has work queued or in hand.
  static bool ThumbnailWorkerBusy();

signals:
  // A local or installed template was picked: the work area makes it current.
  void templateChosen(TemplateEntry* entry);
  // A template that is not installed was picked: the work area drops its
  // template and shows the hint in the preview (empty: show nothing new).
  void onlineTemplateChosen(TemplateEntry* entry, const QString& hint);

private:
  friend class GalleryListView;

  struct CachedThumbnail {
    QImage image;  // null when the template gave no picture
    std::uint64_t generation = 0;
  };

  // Tab bar entries from the layout's tabs.
  void FillTabs();
  void LoadBadges();
  // Hands the worker the tiles in view that have no current thumbnail.
  void RequestThumbnails();
  // Takes what the thumbnail thread and the downloads left for the gallery.
  void DrainMail();
  void OnThumbnailReady(const TemplateEntry* entry, std::uint64_t generation, const QImage& image);
  void OnDownloadReport(const TemplateEntry* entry, const DownloadReport& report);
  void OnDownloadFinished(GalleryItem& item, const DownloadReport& report);

  // Mouse actions of the list.
  void Pick(GalleryItem& item);
  void DoubleClick(GalleryItem& item);
  void ToggleHeader(GalleryGroup& group);
  void OpenMenu(GalleryItem* item, const QPoint& globalPos);
  void ToggleHide();
  void ToggleShowAll();
  void LayoutChanged();

  // What a tile shows while no rendered thumbnail is there: the entry's
  // thumbnail file, else nothing (null).
  const QImage& FallbackImage(const TemplateEntry& entry);
  QString PickHint(const GalleryItem& item) const;

  AppContext& app_;
  GalleryLayout layout_;
  QTabBar* tabBar_ = nullptr;
  GalleryListView* list_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* hideAction_ = nullptr;
  QAction* showAllAction_ = nullptr;
  GalleryMailbox* mailbox_ = nullptr;

  GalleryItem* selected_ = nullptr;
  GalleryItem* hovered_ = nullptr;
  GalleryItem* menuItem_ = nullptr;

  std::uint64_t generation_ = 1;
  std::map<const TemplateEntry*, CachedThumbnail> thumbnails_;
  std::map<const TemplateEntry*, QImage> fallbacks_;
  QImage badges_[4];

  TemplateDownloadService* downloads_ = nullptr;
  // Entries whose download runs, with the service that runs it; cancelled
  // when the gallery goes.
  std::map<const TemplateEntry*, TemplateDownloadService*> downloading_;
  // Download reports reach the gallery through this link, which the
  // destructor cuts before anything else goes.
  struct Link;
  std::shared_ptr<Link> link_;
  bool fillingTabs_ = false;
};

}  // namespace grinsnap
