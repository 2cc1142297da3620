#pragma once

#include <QColor>

namespace grinsnap {

// The program's few colours: a calm light grey ground and one accent for
// selection and progress.
inline const QColor kBackground(0xf0, 0xf0, 0xf0);
inline const QColor kAccent(0x2f, 0x7f, 0xd8);

}  // namespace grinsnap
