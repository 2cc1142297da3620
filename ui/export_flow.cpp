#include "ui/export_flow.h"

#include <memory>
#include <vector>

#include "app/export_rules.h"
#include "app/string_table.h"
#include "platform/image_loader.h"
#include "ui/app_context.h"
#include "ui/message_box.h"
#include "ui/photo_edit_dialog.h"
#include "ui/preview_dialog.h"

namespace grinsnap {

namespace {

// The photo the result was made from: the template's first input, else the
// photo selected in the photo list; empty when there is none.
PhotoItem SourcePhoto(CProcessEngine& engine) {
  if (engine.GetInputCount() > 0) return engine.GetInput(0);
  return engine.GetPhoto(engine.CurrentPhoto());
}

// The input's picture before the node's edits, which the editing dialog
// applies its edits to.
cv::Mat UneditedPicture(const PhotoItem& input, HNODE node) {
  // A photo made from a result keeps its only copy itself.
  if (input.source && !input.source->unedited.empty()) return input.source->unedited;
  // The node renders the photo file; without edits that is the photo itself.
  if (CImageObj::GetEdits(node).IsIdentity()) return CImageObj::GetOutImg(node);
  return input.path.empty() ? cv::Mat() : LoadImageFile(input.path);
}

}  // namespace

bool RunExport(QWidget* parent, AppContext& app) {
  CProcessEngine& engine = app.engine;
  // The result is read only once a background run has finished with it.
  if (engine.IsBusy()) engine.WaitForResult();
  if (engine.Output().empty()) {
    ShowMessage(parent, app.QText(kIdsNoImageToSave), kCaptionNoImage);
    return false;
  }
  PreviewDialog dialog(app, engine.Output(), SourcePhoto(engine), app.settings.exportPath, parent);
  dialog.exec();
  app.settings.exportPath = dialog.ExportPath();
  return dialog.Saved();
}

bool EditInputs(QWidget* parent, AppContext& app) {
  CProcessEngine& engine = app.engine;
  CImageObj& images = engine.ImageObj();
  images.SetTextEffectBaseFolder(app.programFolder / "media");
  if (app.language) images.SetLanguageString(app.language->CurrentFile().string());
  engine.BeginEditingInputs();

  // Each node of the editing set belongs to an input; its record is the one
  // the dialog marks. The inputs are held so the records outlive the dialog.
  std::vector<PhotoItem> inputs;
  for (int i = 0; i < engine.GetInputCount(); ++i) inputs.push_back(engine.GetInput(i));
  std::vector<PhotoEditTarget> targets;
  for (HNODE node : images.Nodes()) {
    for (const PhotoItem& input : inputs) {
      if (!input.node || input.node->state != node->state || !input.editRecord) continue;
      targets.push_back({node, input.editRecord.get(), UneditedPicture(input, node)});
      break;
    }
  }
  if (!targets.empty()) {
    PhotoEditDialog dialog(std::move(targets), parent);
    dialog.exec();
  }
  return engine.FinishEditingInputs() > 0;
}

}  // namespace grinsnap
