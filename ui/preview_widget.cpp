#include "ui/preview_widget.h"

#include <algorithm>
#include <cmath>

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

#include <opencv2/imgproc.hpp>

#include "app/preview_view.h"
#include "core/effect_template.h"
#include "core/process_engine.h"
#include "templates/simple_template.h"
#include "platform/messages.h"
#include "ui/photo_list.h"
#include "ui/palette.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

// The empty preview's hint until the owner sets it in its language.
constexpr const char* kEmptyHint = "Add a photo to begin";

constexpr int kBusyIntervalMs = 10;
constexpr double kBusyPhaseStep = 0.01;
constexpr int kSpinnerDiameter = 30;

const QColor kPictureEdge(0xd4, 0xd4, 0xd4);
const QColor kHintText(0x80, 0x80, 0x80);

// The overlay kinds routed to a template, in drawing order.
constexpr int kOverlayKinds[] = {kInteractionFace, kInteractionRegion};

QColor ToQColor(ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The drawing calls of templates, on a QPainter, with the classic pen and
// brush rules: a new painter starts with a black solid pen and a white
// brush, a rectangle covers left..right-1 and top..bottom-1.
class QtOverlayPainter final : public OverlayPainter {
public:
  explicit QtOverlayPainter(QPainter& p) : p_(p) {
    p_.setRenderHint(QPainter::Antialiasing, false);
    Apply();
    p_.setBrush(Qt::white);
  }

  Pen SelectPen(const Pen& pen) override {
    const Pen previous = pen_;
    pen_ = pen;
    Apply();
    return previous;
  }

  void SelectNullBrush() override { p_.setBrush(Qt::NoBrush); }

  void DrawRectangle(const ViewRect& r) override {
    if (r.Width() <= 0 || r.Height() <= 0) return;
    p_.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
  }

private:
  void Apply() {
    QPen pen(ToQColor(pen_.color));
    pen.setWidth(std::max(pen_.width, 1));
    if (pen_.style == PenStyle::Dash) pen.setDashPattern({18, 6});  // long dashes, short gaps
    pen.setCapStyle(Qt::FlatCap);
    p_.setPen(pen);
  }

  QPainter& p_;
  Pen pen_;
};

Qt::CursorShape ToQtCursor(CursorShape shape) {
  switch (shape) {
    case CursorShape::SizeAll: return Qt::SizeAllCursor;
    case CursorShape::SizeWE: return Qt::SizeHorCursor;
    case CursorShape::SizeNS: return Qt::SizeVerCursor;
    case CursorShape::SizeNESW: return Qt::SizeBDiagCursor;
    case CursorShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case CursorShape::Arrow: break;
  }
  return Qt::ArrowCursor;
}

// An 8-bit, 3-channel BGR copy of any picture the engine may hand out.
cv::Mat ToDisplayCopy(const cv::Mat& src) {
  if (src.empty()) return {};
  cv::Mat eight = src;
  if (src.depth() != CV_8U) src.convertTo(eight, CV_8U);
  cv::Mat out;
  switch (eight.channels()) {
    case 1: cv::cvtColor(eight, out, cv::COLOR_GRAY2BGR); break;
    case 3: out = eight.clone(); break;
    case 4: cv::cvtColor(eight, out, cv::COLOR_BGRA2BGR); break;
    default: return {};
  }
  return out;
}

}  // namespace

struct PreviewWidget::Impl {
  Impl(PreviewWidget* w, CProcessEngine& e)
      : self(w), engine(e), timers(new QtTimerService([this](int id) { OnTimer(id); }, w)) {}

  const cv::Mat& Shown() const {
    if (!ownerPicture.empty()) return ownerPicture;
    return result.empty() ? fallback : result;
  }
  bool Spinning() const { return busy || loading; }
  void UpdateTimer() {
    if (Spinning())
      timers->SetTimer(kTimerPreviewBusy, kBusyIntervalMs);
    else
      timers->KillTimer(kTimerPreviewBusy);
    self->update();
  }
  bool ShowingResult() const { return ownerPicture.empty() && !result.empty(); }

  // The template gets overlay and mouse input only while it is not being
  // processed on the worker and the result it belongs to is on show.
  CEffectTemplate* RoutableTemplate() const {
    if (!ShowingResult() || engine.IsBusy() || !view.Current().valid) return nullptr;
    return engine.Template();
  }

  void Relayout() {
    const cv::Mat& pic = Shown();
    view.Layout(pic.cols, pic.rows, self->width(), self->height());
    cacheValid = false;
  }

  // Replaces one of the pictures; when what is on show changes size the
  // view starts again from the fitted picture.
  void Replace(cv::Mat* slot, cv::Mat fresh) {
    const cv::Size before = Shown().size();
    *slot = std::move(fresh);
    if (Shown().size() != before) view.Reset();
    Relayout();
    UpdateCursor();
    self->update();
  }

  // The visible part scaled to its drawn size once per layout: area
  // averaging when shrinking keeps fine detail from shimmering.
  const QImage& VisibleImage(const PreviewLayout& l) {
    if (cacheValid) return cache;
    cacheValid = true;
    cache = QImage();
    const cv::Mat& pic = Shown();
    const cv::Rect src(l.srcLeft, l.srcTop, l.srcWidth, l.srcHeight);
    const cv::Size dst(l.dest.Width(), l.dest.Height());
    if (pic.empty() || dst.width <= 0 || dst.height <= 0 || (src & cv::Rect(0, 0, pic.cols, pic.rows)) != src)
      return cache;
    const bool shrinking = dst.width < src.width || dst.height < src.height;
    cv::Mat scaled;
    cv::resize(pic(src), scaled, dst, 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
    cache = QImage(scaled.data, scaled.cols, scaled.rows, static_cast<qsizetype>(scaled.step), QImage::Format_BGR888)
                .copy();
    return cache;
  }

  // Hands a mouse event to the template's on-image controls; true when they
  // changed. Also notes whether the template has any interaction.
  bool RouteMouse(QPoint pos, bool down) {
    hasInteraction = false;
    CEffectTemplate* t = RoutableTemplate();
    if (!t) return false;
    t->mouseDown = down;
    t->mouseX = pos.x();
    t->mouseY = pos.y();
    const MouseInput input{pos.x(), pos.y(), down};
    const ViewGeometry geometry = view.Geometry();
    bool changed = false;
    for (int kind : kOverlayKinds) {
      if (!t->HasInteraction(kind)) continue;
      hasInteraction = true;
      changed = t->OnMouse(kind, input, geometry) || changed;
    }
    return changed;
  }

  void UpdateCursor() {
    if (panning) {
      self->setCursor(Qt::ClosedHandCursor);
      return;
    }
    if (auto* simple = dynamic_cast<CT_SimpleTempl*>(RoutableTemplate())) {
      if (simple->HasInteraction(kInteractionRegion) && simple->HasRoi() && simple->ShowRoi() &&
          simple->DragZone() != 0) {
        self->setCursor(ToQtCursor(simple->Cursor()));
        return;
      }
    }
    const bool hand = view.Current().valid && view.HandCursor();
    self->setCursor(hand ? Qt::OpenHandCursor : Qt::ArrowCursor);
  }

  void Zoom(bool in, QPoint about) {
    const cv::Mat& pic = Shown();
    if (pic.empty()) return;
    view.ZoomStep(in, about.x(), about.y(), pic.cols, pic.rows, self->width(), self->height());
    cacheValid = false;
    UpdateCursor();
    self->update();
  }

  QRect SpinnerRect() const {
    const int d = kSpinnerDiameter;
    return QRect(self->width() / 2 - d / 2, self->height() / 2 - d / 2, d, d);
  }

  void OnTimer(int id) {
    if (id != kTimerPreviewBusy) return;
    phase += kBusyPhaseStep;
    self->update(SpinnerRect().adjusted(-2, -2, 2, 2));
  }

  void PaintSpinner(QPainter& p) const {
    const QRectF r = QRectF(SpinnerRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(r);
    const QRectF ring = r.adjusted(6, 6, -6, -6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xd8, 0xd8, 0xd8), 3));
    p.drawEllipse(ring);
    // One turn per second; Qt angles are in 1/16 degree, counter-clockwise.
    const int start = -static_cast<int>(std::fmod(phase, 1.0) * 360.0 * 16.0);
    p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, start, 100 * 16);
  }

  void PaintEmpty(QPainter& p) const {
    QFont font = self->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    p.setFont(font);
    p.setPen(kHintText);
    const QString text = hint.isEmpty() ? defaultHint : hint;
    p.drawText(self->rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap, text);
  }

  QString hint;  // shown instead of the empty preview's own text
  QString defaultHint = QString::fromUtf8(kEmptyHint);
  cv::Mat fallback;  // shown while there is no result
  bool loading = false;

  PreviewWidget* self;
  CProcessEngine& engine;
  QtTimerService* timers;  // owned by the widget
  PreviewView view;
  cv::Mat result;    // copy of the engine's output
  cv::Mat ownerPicture;  // picture set by the owner
  QImage cache;
  bool cacheValid = false;
  bool busy = false;
  double phase = 0;
  bool leftDown = false;
  bool panning = false;
  bool changedWhileDown = false;
  bool hasInteraction = false;
  QPoint lastMouse;
};

PreviewWidget::PreviewWidget(CProcessEngine& engine, QWidget* parent)
    : QWidget(parent), impl_(new Impl(this, engine)) {
  setAcceptDrops(true);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(120, 90);
}

PreviewWidget::~PreviewWidget() {
  impl_->timers->KillTimer(kTimerPreviewBusy);
  delete impl_;
}

void PreviewWidget::SetHint(const QString& hint) {
  impl_->hint = hint;
  update();
}

void PreviewWidget::SetDefaultHint(const QString& hint) {
  impl_->defaultHint = hint;
  update();
}

void PreviewWidget::SetFallbackPicture(const cv::Mat& picture) {
  impl_->Replace(&impl_->fallback, ToDisplayCopy(picture));
}

bool PreviewWidget::ShowingFallback() const {
  return impl_->ownerPicture.empty() && impl_->result.empty() && !impl_->fallback.empty();
}

void PreviewWidget::ZoomToFit() {
  impl_->view.Reset();
  impl_->Relayout();
  impl_->UpdateCursor();
  update();
}

void PreviewWidget::SetLoading(bool loading) {
  if (loading == impl_->loading) return;
  impl_->loading = loading;
  impl_->UpdateTimer();
}

void PreviewWidget::ShowResult() {
  // The output belongs to the worker while it runs; the last copy stays.
  if (impl_->engine.IsBusy()) return;
  impl_->Replace(&impl_->result, ToDisplayCopy(impl_->engine.Output()));
}

void PreviewWidget::SetPicture(const cv::Mat& picture) {
  if (!picture.empty()) {
    impl_->Replace(&impl_->ownerPicture, ToDisplayCopy(picture));
  } else if (impl_->ownerPicture.empty()) {
    ShowResult();
  } else {
    // Back to the output, refreshed while it is not being written.
    if (!impl_->engine.IsBusy()) impl_->result = ToDisplayCopy(impl_->engine.Output());
    impl_->Replace(&impl_->ownerPicture, cv::Mat());
  }
}

void PreviewWidget::ZoomIn() { impl_->Zoom(true, QPoint(width() / 2, height() / 2)); }

void PreviewWidget::ZoomOut() { impl_->Zoom(false, QPoint(width() / 2, height() / 2)); }

void PreviewWidget::SetBusy(bool busy) {
  if (busy == impl_->busy) return;
  impl_->busy = busy;
  impl_->UpdateTimer();
}

bool PreviewWidget::IsBusy() const { return impl_->busy; }

const cv::Mat& PreviewWidget::Picture() const { return impl_->Shown(); }

const PreviewView& PreviewWidget::View() const { return impl_->view; }

bool PreviewWidget::BusyTimerActive() const { return impl_->timers->IsActive(kTimerPreviewBusy); }

double PreviewWidget::BusyPhase() const { return impl_->phase; }

void PreviewWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  const PreviewLayout& l = impl_->view.Current();
  if (impl_->Shown().empty() || !l.valid) {
    if (impl_->Shown().empty()) impl_->PaintEmpty(p);
  } else {
    const QRect dest(l.dest.left, l.dest.top, l.dest.Width(), l.dest.Height());
    // A hairline edge sets a light picture apart from the background.
    if (dest.width() < width() || dest.height() < height()) {
      p.setPen(kPictureEdge);
      p.setBrush(Qt::NoBrush);
      p.drawRect(dest.adjusted(-1, -1, 0, 0));
    }
    const QImage& visible = impl_->VisibleImage(l);
    if (!visible.isNull()) p.drawImage(dest.topLeft(), visible);

    if (CEffectTemplate* t = impl_->RoutableTemplate()) {
      p.save();
      p.setClipRect(rect());
      QtOverlayPainter overlay(p);
      const ViewGeometry geometry = impl_->view.Geometry();
      for (int kind : kOverlayKinds)
        if (t->HasInteraction(kind)) t->DrawOverlay(kind, overlay, geometry);
      p.restore();
    }
  }
  if (impl_->Spinning()) impl_->PaintSpinner(p);
}

void PreviewWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  impl_->Relayout();
}

void PreviewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint pos = event->position().toPoint();
  impl_->leftDown = true;
  impl_->changedWhileDown = false;
  impl_->lastMouse = pos;
  if (impl_->RouteMouse(pos, true)) {
    impl_->changedWhileDown = true;
    emit parametersChanged(false);
    update();
  }
  impl_->UpdateCursor();
}

void PreviewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press still goes to the template's controls, as before.
  mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

void PreviewWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const bool down = impl_->leftDown && (event->buttons() & Qt::LeftButton);
  const bool taken = impl_->RouteMouse(pos, down);
  if (down) {
    if (taken) {
      impl_->changedWhileDown = true;
      emit parametersChanged(false);
      update();
    } else if (impl_->hasInteraction || impl_->view.Zoom() != PreviewView::kMaxZoom) {
      // The template did not take the move: it pans the view.
      const cv::Mat& pic = impl_->Shown();
      if (!pic.empty()) {
        const QPoint d = pos - impl_->lastMouse;
        impl_->view.Pan(d.x(), d.y(), pic.cols, pic.rows, width(), height());
        impl_->cacheValid = false;
        impl_->panning = true;
        update();
      }
    }
  }
  impl_->lastMouse = pos;
  impl_->UpdateCursor();
}

void PreviewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  const QPoint pos = event->position().toPoint();
  impl_->leftDown = false;
  impl_->panning = false;
  impl_->lastMouse = pos;
  if (impl_->RouteMouse(pos, false)) impl_->changedWhileDown = true;
  if (impl_->changedWhileDown) {
    impl_->changedWhileDown = false;
    emit parametersChanged(true);
    update();
  }
  impl_->UpdateCursor();
}

void PreviewWidget::wheelEvent(QWheelEvent* event) {
  event->accept();
  // Begin and end notifications of touchpad scrolling carry no turn at all.
  if (event->angleDelta().isNull()) return;
  impl_->lastMouse = event->position().toPoint();
  impl_->Zoom(event->angleDelta().y() >= 0, impl_->lastMouse);
}

namespace {

bool AcceptsDrop(const QMimeData* data) {
  if (!data) return false;
  if (data->hasFormat(kPhotoDragMimeType)) return true;
  if (data->hasUrls())
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) return true;
  return false;
}

}  // namespace

void PreviewWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void PreviewWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void PreviewWidget::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data) return;
  if (data->hasFormat(kPhotoDragMimeType)) {
    bool ok = false;
    const int index = QString::fromUtf8(data->data(kPhotoDragMimeType)).trimmed().toInt(&ok);
    if (ok && index >= 0) {
      event->acceptProposedAction();
      emit photoDropped(index, event->position().toPoint());
    }
    return;
  }
  QStringList paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit filesDropped(paths);
}

}  // namespace grinsnap
