#pragma once

class QWidget;

namespace grinsnap {

struct AppContext;

// The Export command: the preview dialog on the current result, from which
// the user edits, saves (the export dialog) or exports the animation. The
// `export` setting is handed in and taken back. True when a file was
// written.
bool RunExport(QWidget* parent, AppContext& app);

// The Edit command: the photo-editing dialog on the template's inputs; the
// edited inputs are rebuilt. Returns whether any input changed.
bool EditInputs(QWidget* parent, AppContext& app);

}  // namespace grinsnap
