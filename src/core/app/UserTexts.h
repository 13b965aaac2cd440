// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Words the user reads both in the window and from the command line.
namespace texts {

// A video the prober refuses: the intake's message for it.
inline constexpr char kDamagedFile[] = QT_TRANSLATE_NOOP("LumoCompress", "文件可能已经损坏!");

}  // namespace texts
