#include "ui/gallery_widget.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <QAction>
#include <QHelpEvent>
#include <QToolTip>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/language.h"
#include "app/string_table.h"
#include "app/template_library.h"
#include "core/process_engine.h"
#include "core/template_document.h"
#include "platform/thread_priority.h"
#include "ui/app_context.h"
#include "ui/palette.h"
#include "ui/qt_image.h"

namespace grinsnap {

namespace {

const QColor kText(0x33, 0x33, 0x33);
const QColor kHoverBorder(0x9c, 0xc1, 0xea);
const QColor kTileBorder(0xd6, 0xd6, 0xd6);
const QColor kHeaderFill(0xe2, 0xe2, 0xe2);
const QColor kPlaceholder(0xe6, 0xe6, 0xe6);
const QColor kScrollThumb(0xbd, 0xbd, 0xbd);
const QColor kScrollThumbActive(0x99, 0x99, 0x99);

constexpr int kScrollBarWidth = 10;  // the strip right of the tiles that holds the thumb
constexpr int kWheelDelta = 120;     // Qt's angle units per wheel notch
constexpr int kCaptionTop = 3 + kThumbnailHeight + 2;

// The picture a template rendered, on white where it is transparent.
QImage ToImage(const cv::Mat& picture) {
  if (picture.empty() || picture.depth() != CV_8U) return {};
  const int step = static_cast<int>(picture.step);
  switch (picture.channels()) {
    case 1:
    case 3: return ToQImage(picture);
    case 4: {
      // Blue, green, red, alpha in memory is what ARGB32 stores on this byte order.
      const QImage source(picture.data, picture.cols, picture.rows, step, QImage::Format_ARGB32);
      QImage flat(source.size(), QImage::Format_RGB32);
      flat.fill(Qt::white);
      QPainter painter(&flat);
      painter.drawImage(0, 0, source);
      return flat;
    }
    default: return {};
  }
}

}  // namespace

// Carries work done on other threads over to the gallery's thread. A worker
// stores its results under its own mutex and emits wake(); the queued
// connection then runs the gallery's drain, which takes the results under
// that mutex. Nothing else crosses the threads, so every handover is ordered
// by the mutex (which a sanitiser can follow).
class GalleryMailbox : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
signals:
  void wake();
};

// ---- The thumbnail thread ----

// One thread renders the thumbnails of every gallery. Each gallery hands it
// the tiles it shows that lack a current picture; the thread takes one tile
// at a time (galleries in turn), creates the template from its document,
// renders it on the gallery's engine inputs and posts the picture back.
// The first gallery starts the thread, the last one stops and joins it.
//
// The thread never reads a gallery's tree: a job carries what rendering
// needs (the shared document and its folder), so the interface thread may
// rebuild its lists at any time.
class GalleryThumbnailWorker {
public:
  struct Job {
    const TemplateEntry* key = nullptr;  // compared, never followed, off the interface thread
    std::shared_ptr<const TemplateDocument> document;
    std::filesystem::path folder;
    std::uint64_t generation = 0;
  };
  struct Result {
    const TemplateEntry* key = nullptr;
    std::uint64_t generation = 0;
    QImage image;
  };

  static GalleryThumbnailWorker& Instance() {
    static GalleryThumbnailWorker worker;
    return worker;
  }

  // Attach and Detach run on the interface thread only.
  void Attach(GalleryWidget* gallery, GalleryMailbox* mailbox, CProcessEngine* engine) {
    std::lock_guard lock(mutex_);
    clients_.push_back({gallery, mailbox, engine, {}, {}, false});
    if (!thread_.joinable()) {
      stop_ = false;
      thread_ = std::thread([this] { Run(); });
    }
  }

  // After Detach returns the thread holds nothing of the gallery and posts
  // nothing to it.
  void Detach(GalleryWidget* gallery) {
    std::unique_lock lock(mutex_);
    std::erase_if(clients_, [&](const Client& c) { return c.gallery == gallery; });
    if (busyFor_ == gallery) {
      CancelCurrent();
      idle_.wait(lock, [&] { return busyFor_ != gallery; });
    }
    if (!clients_.empty() || !thread_.joinable()) return;
    stop_ = true;
    if (rendering_) rendering_->Abort();
    lock.unlock();
    wake_.notify_all();
    thread_.join();
  }

  // Replaces the gallery's queue. A render in hand for an older generation
  // is cut short; one for the current generation is not queued twice.
  void SetJobs(GalleryWidget* gallery, std::vector<Job> jobs, std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    Client* client = Find(gallery);
    if (!client) return;
    if (busyFor_ == gallery) {
      if (busyGeneration_ != generation)
        CancelCurrent();
      else
        std::erase_if(jobs, [&](const Job& j) { return j.key == busyKey_ && j.generation == busyGeneration_; });
    }
    client->jobs.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    wake_.notify_all();
  }

  bool Busy() {
    std::lock_guard lock(mutex_);
    return busyFor_ != nullptr || HasJobs();
  }

  // The pictures finished for the gallery since the last call.
  std::vector<Result> TakeResults(GalleryWidget* gallery) {
    std::lock_guard lock(mutex_);
    Client* client = Find(gallery);
    if (!client) return {};
    client->wakePending = false;
    return std::exchange(client->results, {});
  }

  ~GalleryThumbnailWorker() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

private:
  struct Client {
    GalleryWidget* gallery = nullptr;
    GalleryMailbox* mailbox = nullptr;
    CProcessEngine* engine = nullptr;
    std::deque<Job> jobs;
    std::vector<Result> results;  // finished, not yet taken
    bool wakePending = false;     // a wake is on its way to the gallery
  };

  Client* Find(GalleryWidget* gallery) {
    for (Client& c : clients_)
      if (c.gallery == gallery) return &c;
    return nullptr;
  }
  bool HasJobs() const {
    return std::any_of(clients_.begin(), clients_.end(), [](const Client& c) { return !c.jobs.empty(); });
  }
  // Under the mutex: the render in hand posts nothing and stops soon.
  void CancelCurrent() {
    cancelCurrent_ = true;
    if (rendering_) rendering_->Abort();
  }

  void Run() {
    LowerThreadPriority();
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || HasJobs(); });
      if (stop_) break;
      // Galleries take turns, one tile each.
      next_ %= clients_.size();
      while (clients_[next_].jobs.empty()) next_ = (next_ + 1) % clients_.size();
      Client& client = clients_[next_];
      next_ = (next_ + 1) % clients_.size();
      Job job = std::move(client.jobs.front());
      client.jobs.pop_front();
      GalleryWidget* gallery = client.gallery;
      CProcessEngine* engine = client.engine;
      busyFor_ = gallery;
      busyKey_ = job.key;
      busyGeneration_ = job.generation;
      cancelCurrent_ = false;
      lock.unlock();

      QImage image = Render(job, *engine);

      lock.lock();
      // The gallery cannot go while busyFor_ names it (Detach waits), so its
      // mailbox is there; Qt drops the wake if the gallery goes before it.
      Client* owner = Find(gallery);
      if (owner && !cancelCurrent_ && !stop_) {
        owner->results.push_back({job.key, job.generation, std::move(image)});
        if (!owner->wakePending) {
          owner->wakePending = true;
          emit owner->mailbox->wake();
        }
      }
      busyFor_ = nullptr;
      busyKey_ = nullptr;
      idle_.notify_all();
    }
  }

  QImage Render(const Job& job, CProcessEngine& engine) {
    // Template creation takes the template-creation lock itself.
    TemplateRef effect(CreateTemplateFromDocument(job.document, job.folder, &engine));
    if (!effect) return {};
    {
      std::lock_guard lock(mutex_);
      rendering_ = effect.get();
      if (cancelCurrent_ || stop_) effect->Abort();
    }
    cv::Mat picture;
    engine.RenderTemplateThumbnail(*effect, picture);  // empty unless it finished
    {
      std::lock_guard lock(mutex_);
      rendering_ = nullptr;
    }
    return ToImage(picture);
  }

  std::mutex mutex_;
  std::condition_variable wake_;  // jobs or stop
  std::condition_variable idle_;  // a render ended
  std::vector<Client> clients_;
  size_t next_ = 0;
  bool stop_ = false;
  std::thread thread_;
  // The render in hand.
  GalleryWidget* busyFor_ = nullptr;
  const TemplateEntry* busyKey_ = nullptr;
  std::uint64_t busyGeneration_ = 0;
  bool cancelCurrent_ = false;
  CEffectTemplate* rendering_ = nullptr;  // set while Process may run; Abort is safe across threads
};

// ---- Download reports ----

struct GalleryWidget::Link {
  std::mutex mutex;
  GalleryMailbox* mailbox = nullptr;  // null once the gallery is going
  std::vector<std::pair<const TemplateEntry*, DownloadReport>> reports;
  bool wakePending = false;

  // Any thread: hands the report to the gallery's thread while it exists.
  void Deliver(const TemplateEntry* entry, const DownloadReport& report) {
    std::lock_guard lock(mutex);
    if (!mailbox) return;
    reports.emplace_back(entry, report);
    if (!wakePending) {
      wakePending = true;
      emit mailbox->wake();
    }
  }
  std::vector<std::pair<const TemplateEntry*, DownloadReport>> Take() {
    std::lock_guard lock(mutex);
    wakePending = false;
    return std::exchange(reports, {});
  }
};

// ---- The list ----

// The custom-drawn list of the current tab: group headers, template tiles
// and a thumb scroll bar along the right edge.
class GalleryListView : public QWidget {
public:
  explicit GalleryListView(GalleryWidget& gallery) : QWidget(&gallery), gallery_(gallery) {
    setMouseTracking(true);
    setMinimumWidth(GalleryLayout::kContentWidth + kScrollBarWidth);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  QSize sizeHint() const override { return {GalleryLayout::kContentWidth + kScrollBarWidth, 480}; }

protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override {
    layout().SetClientHeight(height());
    gallery_.LayoutChanged();
  }
  void mousePressEvent(QMouseEvent* event) override { Press(event, false); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { Press(event, true); }
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && dragging_) {
      dragging_ = false;
      update();
    }
  }
  void wheelEvent(QWheelEvent* event) override;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(event);
      const QString tip = gallery_.ToolTipAt(help->pos());
      if (tip.isEmpty())
        QToolTip::hideText();
      else
        QToolTip::showText(help->globalPos(), tip, this);
      return true;
    }
    return QWidget::event(event);
  }
  void leaveEvent(QEvent* event) override {
    SetHovered(nullptr);
    QWidget::leaveEvent(event);
  }

private:
  GalleryLayout& layout() { return gallery_.layout_; }
  void Press(QMouseEvent* event, bool doubleClick);
  bool OnScrollBar(const QPoint& pos) const { return pos.x() >= width() - kScrollBarWidth; }
  void SetHovered(GalleryItem* item) {
    if (gallery_.hovered_ == item) return;
    gallery_.hovered_ = item;
    update();
  }
  void TrackHover(const QPoint& pos) {
    const GalleryHit hit = layout().HitTest(pos.x(), pos.y());
    SetHovered(hit.kind == GalleryHit::kItem ? hit.item : nullptr);
  }
  void DrawHeader(QPainter& painter, const GalleryGroup& group, int depth);
  void DrawTile(QPainter& painter, const GalleryTile& tile);
  void DrawBadge(QPainter& painter, const QRect& picture, const GalleryItem& item);

  GalleryWidget& gallery_;
  bool dragging_ = false;
  int pressY_ = 0;
  int pressOffset_ = 0;
  int wheelRemainder_ = 0;
};

void GalleryListView::Press(QMouseEvent* event, bool doubleClick) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    const GalleryHit hit = layout().HitTest(pos.x(), pos.y());
    gallery_.OpenMenu(hit.kind == GalleryHit::kItem ? hit.item : nullptr, event->globalPosition().toPoint());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const GalleryThumb thumb = layout().ScrollThumb();
  if (thumb.shown && OnScrollBar(pos)) {
    if (pos.y() >= thumb.top && pos.y() < thumb.top + thumb.height) {
      dragging_ = true;
      pressY_ = pos.y();
      pressOffset_ = layout().ScrollOffset();
      update();
    } else if (layout().SetScroll(layout().ScrollOffset() + (pos.y() < thumb.top ? -height() : height()))) {
      // A press beside the thumb pages, as scroll bars do.
      gallery_.LayoutChanged();
    }
    return;
  }
  const GalleryHit hit = layout().HitTest(pos.x(), pos.y());
  if (hit.kind == GalleryHit::kHeader) {
    // The second press of a quick double click on a header toggles again.
    gallery_.ToggleHeader(*hit.group);
  } else if (hit.kind == GalleryHit::kItem) {
    if (doubleClick)
      gallery_.DoubleClick(*hit.item);
    else
      gallery_.Pick(*hit.item);
  }
}

void GalleryListView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    if (layout().DragScroll(pressOffset_, pos.y() - pressY_)) gallery_.LayoutChanged();
    return;
  }
  TrackHover(pos);
}

void GalleryListView::wheelEvent(QWheelEvent* event) {
  wheelRemainder_ += event->angleDelta().y();
  const int notches = wheelRemainder_ / kWheelDelta;
  wheelRemainder_ -= notches * kWheelDelta;
  // Qt counts a turn away from the user as positive; that scrolls up.
  if (notches != 0 && layout().Wheel(-notches)) {
    gallery_.LayoutChanged();
    TrackHover(event->position().toPoint());
  }
  event->accept();
}

void GalleryListView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const auto& [group, depth] : layout().HeadersInView()) DrawHeader(painter, *group, depth);
  for (const GalleryTile& tile : layout().TilesInView()) DrawTile(painter, tile);

  const GalleryThumb thumb = layout().ScrollThumb();
  if (thumb.shown) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(dragging_ ? kScrollThumbActive : kScrollThumb);
    painter.drawRoundedRect(QRectF(width() - kScrollBarWidth + 2, thumb.top + 1, kScrollBarWidth - 4, thumb.height - 2),
                            3, 3);
  }
}

void GalleryListView::DrawHeader(QPainter& painter, const GalleryGroup& group, int depth) {
  const GalleryRect r = layout().HeaderRect(group);
  const QRect box(r.left, r.top, r.width, r.height);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kHeaderFill);
  painter.drawRoundedRect(box, 3, 3);

  // Deeper groups are indented, so that nesting shows.
  const int indent = 8 + (depth - 1) * 12;
  const QPointF c(box.left() + indent + 4, box.center().y() + 0.5);
  QPainterPath arrow;
  if (group.expanded) {
    arrow.moveTo(c + QPointF(-4, -2));
    arrow.lineTo(c + QPointF(4, -2));
    arrow.lineTo(c + QPointF(0, 3));
  } else {
    arrow.moveTo(c + QPointF(-2, -4));
    arrow.lineTo(c + QPointF(3, 0));
    arrow.lineTo(c + QPointF(-2, 4));
  }
  arrow.closeSubpath();
  painter.setBrush(kText);
  painter.drawPath(arrow);

  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(kText);
  const QRect textBox = box.adjusted(indent + 14, 0, -6, 0);
  const QString caption = painter.fontMetrics().elidedText(QString::fromStdString(group.caption), Qt::ElideRight,
                                                           textBox.width());
  painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft, caption);
  font.setBold(false);
  painter.setFont(font);
}

void GalleryListView::DrawTile(QPainter& painter, const GalleryTile& tile) {
  const GalleryItem& item = *tile.item;
  const TemplateEntry& entry = *item.entry;
  const QRect box(tile.rect.left, tile.rect.top, tile.rect.width, tile.rect.height);
  const bool selected = gallery_.selected_ == &item;
  const bool hovered = gallery_.hovered_ == &item;

  painter.save();
  // Hidden templates shown through "Show All" stay recognisable as hidden.
  if (entry.hide) painter.setOpacity(0.45);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(box, 3, 3);

  const QRect picture(box.left() + 3, box.top() + 3, kThumbnailWidth, kThumbnailHeight);
  const QImage* image = nullptr;
  if (auto it = gallery_.thumbnails_.find(&entry); it != gallery_.thumbnails_.end() && !it->second.image.isNull())
    image = &it->second.image;
  if (!image) {
    const QImage& fallback = gallery_.FallbackImage(entry);
    if (!fallback.isNull()) image = &fallback;
  }
  if (image) {
    const QSize size = image->size().scaled(picture.size(), Qt::KeepAspectRatio).boundedTo(image->size());
    const QRect target(picture.left() + (picture.width() - size.width()) / 2,
                       picture.top() + (picture.height() - size.height()) / 2, size.width(), size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, *image);
  } else if (entry.document) {
    // Not rendered yet: a quiet placeholder with the outline of a picture.
    painter.fillRect(picture, kPlaceholder);
    painter.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 2));
    painter.setBrush(Qt::NoBrush);
    const QPoint mid = picture.center();
    painter.drawRect(QRect(mid.x() - 16, mid.y() - 11, 32, 22));
  }
  // Online templates without a picture keep the plain white tile.
  if (item.state != kItemLocal) DrawBadge(painter, picture, item);

  const QRect captionBox(box.left() + 2, box.top() + kCaptionTop, box.width() - 4, box.height() - kCaptionTop - 2);
  if (selected) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawRoundedRect(captionBox, 2, 2);
  }
  painter.setPen(selected ? QColor(Qt::white) : kText);
  QFont font = painter.font();
  font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1));
  painter.setFont(font);
  painter.drawText(captionBox, Qt::AlignCenter,
                   painter.fontMetrics().elidedText(QString::fromStdString(item.caption), Qt::ElideRight,
                                                    captionBox.width() - 4));

  painter.setBrush(Qt::NoBrush);
  if (selected)
    painter.setPen(QPen(kAccent, 2));
  else
    painter.setPen(QPen(hovered ? kHoverBorder : kTileBorder, hovered ? 2 : 1));
  painter.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  painter.restore();
}

void GalleryListView::DrawBadge(QPainter& painter, const QRect& picture, const GalleryItem& item) {
  int progress = -1;
  if (item.state == kItemDownloading) progress = item.progress;
  int badgeIndex = 0;
  switch (item.state) {
    case kItemOnline: badgeIndex = 0; break;
    case kItemDownloading: badgeIndex = 1; break;
    case kItemDownloadFailed: badgeIndex = 2; break;
    default: badgeIndex = 3; break;
  }
  const QImage& badge = gallery_.badges_[badgeIndex];
  if (!badge.isNull()) {
    painter.drawImage(QPoint(picture.right() + 1 - badge.width(), picture.top()), badge);
  } else if (item.state != kItemDownloaded) {
    // The built-in badge: a disc in the top-right corner with a mark.
    const QRectF disc(picture.right() - 21, picture.top() + 3, 18, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(item.state == kItemDownloadFailed ? QColor(0x55, 0x55, 0x55) : kAccent);
    painter.drawEllipse(disc);
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c = disc.center();
    if (item.state == kItemOnline) {
      painter.drawLine(c + QPointF(0, -5), c + QPointF(0, 4));
      painter.drawPolyline(QPolygonF({c + QPointF(-4, 0), c + QPointF(0, 4), c + QPointF(4, 0)}));
    } else if (item.state == kItemDownloadFailed) {
      painter.drawLine(c + QPointF(0, -5), c + QPointF(0, 1));
      painter.drawPoint(c + QPointF(0, 5));
    } else {
      for (int dx : {-4, 0, 4}) painter.drawPoint(c + QPointF(dx, 0));
    }
  }
  if (item.state == kItemDownloading) {
    // The running download's share along the bottom of the picture, on a
    // light plate so that it reads on any thumbnail.
    const QRect bar(picture.left() + 8, picture.bottom() - 9, picture.width() - 16, 5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRoundedRect(QRect(picture.left() + 3, bar.top() - 19, picture.width() - 6, 27), 4, 4);
    painter.setBrush(QColor(0xdd, 0xdd, 0xdd));
    painter.drawRoundedRect(bar, 3, 3);
    if (progress > 0) {
      painter.setBrush(kAccent);
      painter.drawRoundedRect(QRect(bar.left(), bar.top(), bar.width() * std::min(progress, 100) / 100, bar.height()),
                              3, 3);
    }
    painter.setPen(kText);
    painter.drawText(QRect(picture.left(), bar.top() - 17, picture.width(), 15), Qt::AlignCenter,
                     progress >= 0 ? QString("%1%").arg(progress) : QString());
  }
}

// ---- The gallery ----

GalleryWidget::GalleryWidget(AppContext& app, QWidget* parent)
    : QWidget(parent), app_(app), downloads_(&DefaultDownloadService()), link_(std::make_shared<Link>()) {
  mailbox_ = new GalleryMailbox(this);
  connect(mailbox_, &GalleryMailbox::wake, this, &GalleryWidget::DrainMail, Qt::QueuedConnection);
  link_->mailbox = mailbox_;
  tabBar_ = new QTabBar(this);
  tabBar_->setExpanding(false);
  tabBar_->setUsesScrollButtons(true);
  tabBar_->setDrawBase(false);
  list_ = new GalleryListView(*this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(tabBar_);
  column->addWidget(list_, 1);
  connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) {
    if (!fillingTabs_) SetCurrentTab(index);
  });

  menu_ = new QMenu(this);
  hideAction_ = menu_->addAction(QString());
  hideAction_->setCheckable(true);
  showAllAction_ = menu_->addAction(QString());
  showAllAction_->setCheckable(true);
  connect(hideAction_, &QAction::triggered, this, [this] { ToggleHide(); });
  connect(showAllAction_, &QAction::triggered, this, [this] { ToggleShowAll(); });

  GalleryThumbnailWorker::Instance().Attach(this, mailbox_, &app_.engine);
  RetranslateUi();
  Reload();
}

GalleryWidget::~GalleryWidget() {
  {
    // Late download reports find no gallery from here on.
    std::lock_guard lock(link_->mutex);
    link_->mailbox = nullptr;
  }
  // Downloads the gallery started end with it; what they fetched so far is removed.
  for (const auto& [entry, service] : downloading_) service->Cancel(*entry);
  GalleryThumbnailWorker::Instance().Detach(this);
}

QWidget* GalleryWidget::ListView() const { return list_; }

bool GalleryWidget::ThumbnailWorkerBusy() { return GalleryThumbnailWorker::Instance().Busy(); }

void GalleryWidget::Reload() {
  selected_ = hovered_ = menuItem_ = nullptr;
  thumbnails_.clear();
  fallbacks_.clear();
  ++generation_;
  const CLanguage* language = app_.language.get();
  layout_.Build(
      app_.library.Columns(),
      [language](std::string_view text) { return language ? language->Translate(text) : std::string(text); },
      app_.session.showAllTemplates);
  layout_.SetClientHeight(list_->height());
  showAllAction_->setChecked(layout_.ShowAll());
  FillTabs();
  LayoutChanged();
}

void GalleryWidget::FillTabs() {
  fillingTabs_ = true;
  while (tabBar_->count() > layout_.TabCount()) tabBar_->removeTab(tabBar_->count() - 1);
  for (int i = 0; i < layout_.TabCount(); ++i) {
    const QString caption = QString::fromStdString(layout_.Tabs()[static_cast<size_t>(i)]->caption);
    if (i < tabBar_->count())
      tabBar_->setTabText(i, caption);
    else
      tabBar_->addTab(caption);
  }
  if (layout_.TabCount() > 0) tabBar_->setCurrentIndex(layout_.CurrentTab());
  fillingTabs_ = false;
}

void GalleryWidget::InputsChanged() {
  ++generation_;
  // Without a photo the old pictures would show a photo that is gone; with
  // one they stay until their new renderings arrive.
  if (app_.engine.GetInputCount() == 0) thumbnails_.clear();
  LayoutChanged();
}

void GalleryWidget::RetranslateUi() {
  const CLanguage* language = app_.language.get();
  auto translate = [language](std::string_view text) {
    return language ? language->Translate(text) : std::string(text);
  };
  layout_.Retranslate(translate);
  FillTabs();
  hideAction_->setText(QString::fromStdString(translate("Hide")));
  showAllAction_->setText(QString::fromStdString(translate("Show All")));
  LoadBadges();
  list_->update();
}

void GalleryWidget::LoadBadges() {
  const int ids[4] = {kImageBadgeOnline, kImageBadgeDownloading, kImageBadgeFailed, kImageBadgeDownloaded};
  for (int i = 0; i < 4; ++i) {
    badges_[i] = QImage();
    if (!app_.language) continue;
    if (auto file = app_.language->ImageFile(ids[i])) badges_[i].load(QString::fromStdString(file->string()));
  }
}

void GalleryWidget::SetShowAll(bool on) {
  // The session keeps the choice for galleries made later in this run.
  app_.session.showAllTemplates = on;
  layout_.SetShowAll(on);
  showAllAction_->setChecked(on);
  LayoutChanged();
}

bool GalleryWidget::ShowAll() const { return layout_.ShowAll(); }

void GalleryWidget::SetDownloadService(TemplateDownloadService* service) {
  downloads_ = service ? service : &DefaultDownloadService();
}

void GalleryWidget::SetCurrentTab(int index) {
  if (layout_.SetCurrentTab(index)) {
    hovered_ = nullptr;
    LayoutChanged();
  }
  if (tabBar_->currentIndex() != layout_.CurrentTab() && layout_.TabCount() > 0) {
    fillingTabs_ = true;
    tabBar_->setCurrentIndex(layout_.CurrentTab());
    fillingTabs_ = false;
  }
}

TemplateEntry* GalleryWidget::SelectedEntry() const { return selected_ ? selected_->entry : nullptr; }

void GalleryWidget::MarkSelected(const TemplateEntry* entry) {
  selected_ = entry ? layout_.FindItem(entry) : nullptr;
  list_->update();
}

QRect GalleryWidget::TileRect(const TemplateEntry& entry) const {
  const GalleryItem* item = layout_.FindItem(&entry);
  if (!item || layout_.TabOf(item) != layout_.CurrentTab()) return {};
  std::function<QRect(const GalleryGroup&, bool)> find = [&](const GalleryGroup& group, bool open) -> QRect {
    for (size_t slot = 0; slot < group.visible.size(); ++slot)
      if (group.items[static_cast<size_t>(group.visible[slot])].get() == item) {
        if (!open) return {};
        const GalleryRect r = layout_.TileRect(group, static_cast<int>(slot));
        return {r.left, r.top, r.width, r.height};
      }
    for (const auto& sub : group.subgroups) {
      const QRect r = find(*sub, open && sub->expanded);
      if (!r.isNull()) return r;
    }
    return {};
  };
  return find(*layout_.CurrentTabGroup(), true);
}

int GalleryWidget::ItemState(const TemplateEntry& entry) const {
  const GalleryItem* item = layout_.FindItem(&entry);
  return item ? item->state : kItemLocal;
}

bool GalleryWidget::HasThumbnail(const TemplateEntry& entry) const {
  auto it = thumbnails_.find(&entry);
  return it != thumbnails_.end() && it->second.generation == generation_ && !it->second.image.isNull();
}

QImage GalleryWidget::Thumbnail(const TemplateEntry& entry) const {
  auto it = thumbnails_.find(&entry);
  return it != thumbnails_.end() ? it->second.image : QImage();
}

void GalleryWidget::LayoutChanged() {
  list_->update();
  RequestThumbnails();
}

void GalleryWidget::RequestThumbnails() {
  std::vector<GalleryThumbnailWorker::Job> jobs;
  // Without an input photo there is nothing to show a template on.
  if (app_.engine.GetInputCount() > 0) {
    for (const GalleryTile& tile : layout_.TilesInView()) {
      const TemplateEntry* entry = tile.item->entry;
      if (!entry->document) continue;
      auto it = thumbnails_.find(entry);
      if (it != thumbnails_.end() && it->second.generation == generation_) continue;
      jobs.push_back({entry, entry->document, entry->DocumentFolder(), generation_});
    }
  }
  GalleryThumbnailWorker::Instance().SetJobs(this, std::move(jobs), generation_);
}

void GalleryWidget::DrainMail() {
  for (auto& result : GalleryThumbnailWorker::Instance().TakeResults(this))
    OnThumbnailReady(result.key, result.generation, result.image);
  for (const auto& [entry, report] : link_->Take()) OnDownloadReport(entry, report);
}

void GalleryWidget::OnThumbnailReady(const TemplateEntry* entry, std::uint64_t generation, const QImage& image) {
  // A picture of older inputs, or of an entry the library no longer has.
  if (generation != generation_ || !layout_.FindItem(entry)) return;
  thumbnails_[entry] = {image, generation};
  // Only the tile changed; a full repaint per arriving thumbnail would cost
  // the interface thread more than the thumbnails save it.
  const QRect tile = TileRect(*entry);
  if (!tile.isNull()) list_->update(tile);
}

const QImage& GalleryWidget::FallbackImage(const TemplateEntry& entry) {
  auto [it, added] = fallbacks_.try_emplace(&entry);
  if (added) {
    const std::string path = entry.ThumbPath();
    if (!path.empty() && it->second.load(QString::fromStdString(path)) &&
        (it->second.width() > kThumbnailWidth || it->second.height() > kThumbnailHeight))
      it->second = it->second.scaled(kThumbnailWidth, kThumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return it->second;
}

QString GalleryWidget::PickHint(const GalleryItem& item) const {
  const int id = GalleryLayout::PickHintStringId(item.state);
  if (id == 0) return {};
  QString text = app_.QText(id);
  if (id == kIdsDownloadOnlineTemplate) {
    const char* name = item.entry->element ? item.entry->element->Attribute("name") : nullptr;
    const int at = text.indexOf("%s");
    if (at >= 0) text.replace(at, 2, QString::fromStdString(name ? name : item.entry->name));
  }
  return text;
}

QString GalleryWidget::SelectedHint() const { return selected_ ? PickHint(*selected_) : QString(); }

QString GalleryWidget::ToolTipAt(const QPoint& pos) {
  const GalleryHit hit = layout_.HitTest(pos.x(), pos.y());
  if (hit.kind != GalleryHit::kItem || !hit.item) return {};
  // The caption under the tile may be cut short; the tooltip has it whole.
  return QString::fromStdString(hit.item->caption);
}

void GalleryWidget::Pick(GalleryItem& item) {
  selected_ = &item;
  list_->update();
  TemplateEntry* entry = item.entry;
  if (entry->document) {
    emit templateChosen(entry);
    return;
  }
  // Not installed: an element that still claims a download is corrected.
  if (entry->element && IntAttribute(*entry->element, "downloaded") != 0)
    TemplateLibrary::SetFlag(*entry, TemplateFlag::Downloaded, false);
  emit onlineTemplateChosen(entry, PickHint(item));
}

void GalleryWidget::DoubleClick(GalleryItem& item) {
  selected_ = &item;
  if (GalleryLayout::BeginDownload(item)) {
    std::shared_ptr<Link> link = link_;
    const TemplateEntry* key = item.entry;
    const bool started =
        downloads_->Start(*item.entry, [link, key](const DownloadReport& report) { link->Deliver(key, report); });
    if (started)
      downloading_[key] = downloads_;
    else
      GalleryLayout::FinishDownload(item, false);
    list_->update();
  }
  Pick(item);
}

void GalleryWidget::DownloadSelected() {
  if (selected_ && (selected_->state == kItemOnline || selected_->state == kItemDownloadFailed))
    DoubleClick(*selected_);
}

void GalleryWidget::OnDownloadReport(const TemplateEntry* entry, const DownloadReport& report) {
  if (report.finished) downloading_.erase(entry);
  GalleryItem* item = layout_.FindItem(entry);
  if (!item || item->state != kItemDownloading) return;
  if (!report.finished) {
    item->progress = std::clamp(report.percent, 0, 100);
    list_->update();
    return;
  }
  OnDownloadFinished(*item, report);
}

void GalleryWidget::OnDownloadFinished(GalleryItem& item, const DownloadReport& report) {
  TemplateEntry& entry = *item.entry;
  const bool success = report.success;
  // The package's template document becomes the entry's, in its template.cfg too.
  if (success && !report.filePath.empty()) TemplateLibrary::SetFilePath(entry, report.filePath);
  bool installed = false;
  std::error_code ec;
  if (success && !entry.filePath.empty() && std::filesystem::exists(entry.filePath, ec)) {
    entry.document = TemplateDocument::FromFile(entry.filePath);
    installed = entry.document != nullptr;
  }
  if (installed) {
    TemplateLibrary::SetFlag(entry, TemplateFlag::Downloaded, true);
    thumbnails_.erase(&entry);
    fallbacks_.erase(&entry);
  } else {
    entry.downloaded = false;
  }
  GalleryLayout::FinishDownload(item, installed);
  // The work area takes the newly installed template (or shows the failure).
  if (selected_ == &item) Pick(item);
  LayoutChanged();
}

void GalleryWidget::ToggleHeader(GalleryGroup& group) {
  layout_.ToggleExpanded(group);
  LayoutChanged();
}

void GalleryWidget::OpenMenu(GalleryItem* item, const QPoint& globalPos) {
  menuItem_ = item;
  hideAction_->setEnabled(item != nullptr);
  hideAction_->setChecked(item && item->entry->hide);
  showAllAction_->setChecked(layout_.ShowAll());
  menu_->popup(globalPos);
}

void GalleryWidget::ToggleHide() {
  if (!menuItem_) return;
  TemplateLibrary::SetFlag(*menuItem_->entry, TemplateFlag::Hide, !menuItem_->entry->hide);
  layout_.Relayout();
  LayoutChanged();
}

void GalleryWidget::ToggleShowAll() { SetShowAll(!layout_.ShowAll()); }

}  // namespace grinsnap

#include "gallery_widget.moc"
