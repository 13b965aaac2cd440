// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <optional>

#include "core/intake/VideoTask.h"
#include "core/video/CompressParams.h"
#include "gui/skinlib/WindowImplBase.h"

class QAbstractButton;
class QComboBox;

// The parameters of one video row: compression strength, container (the main page's five),
// resolution, the three audio values and the codec. A choice that the container in force does
// not use (see ChoiceReach) is greyed, and the reason is shown under the lists. The dialog only
// edits its own copy of the record and reports to its owner (the main window), which keeps the
// records:
// - "save" posts UM_VIDEO_PARAM_SAVE carrying the record (ValueRecord<CompressParams>) and the
//   row's own size limit in bytes as lParam (0 for none), then closes with result 1; a size
//   field that holds no size is refused with a notice, and nothing is posted;
// - "cancel" puts the controls back to the defaults and posts UM_VIDEO_PARAM_RESET with the
//   task id as wParam; the dialog stays open, and a later "save" stores what it then shows.
// Closing from the title bar posts nothing. The dialog deletes itself once closed.
class ParamDialog : public WindowImplBase {
    Q_OBJECT
public:
    // params: the row's own record, or DefaultParams for a row without one. Its unique_id is
    // replaced by taskId. source and page: the row's video and the main page, which decide what
    // applies; without a source every choice is offered as applying.
    // maxBytes: the row's own size limit, 0 for none.
    ParamDialog(QWidget* owner, int taskId, const CompressParams& params,
                const std::optional<VideoTask>& source = {}, const MainPageSnapshot& page = {},
                qint64 maxBytes = 0);
    ~ParamDialog() override;

    // The record shown for a row without its own: general strength, the source's container,
    // the source's size, 2 channels, 44100 Hz and 128 kbit/s, by list position. The values
    // themselves stay 0 until the dialog saves them from the lists.
    static CompressParams DefaultParams(int taskId);

    // Opens the dialog for the row taskId, preselected from own or, when the row has no record
    // of its own, from DefaultParams; centred over owner and modal. Returns 1 when it was saved,
    // 0 when it was closed otherwise.
    static int Open(QWidget* owner, int taskId, const std::optional<CompressParams>& own,
                    const std::optional<VideoTask>& source = {}, const MainPageSnapshot& page = {},
                    qint64 maxBytes = 0);

    int TaskId() const { return params_.unique_id; }

    QString GetWindowClassName() const override { return QStringLiteral("参数设置"); }
    QString GetSkinFile() const override { return QStringLiteral("Param.xml"); }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;

private:
    void ShowParams(const CompressParams& params);
    void ReadControls();
    // Greys what the container in force does not use and says why ("param-not-applied").
    void ShowReach();
    void Save();
    void ResetToDefaults();

    QPointer<QWidget> owner_;
    CompressParams params_;
    std::optional<VideoTask> source_;
    MainPageSnapshot page_;
    QString codecTip_;  // the codec list's own tooltip
    QAbstractButton* compressTypes_[3] = {};
    QAbstractButton* videoTypes_[5] = {};
    QComboBox* ratio_ = nullptr;
    QComboBox* channel_ = nullptr;
    QComboBox* sampleRate_ = nullptr;
    QComboBox* bitrate_ = nullptr;
    QComboBox* codec_ = nullptr;
    class QLineEdit* maxSize_ = nullptr;
    QComboBox* maxSizeUnit_ = nullptr;
    qint64 maxBytes_ = 0;
};
