// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/video/ParamDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <array>
#include <memory>
#include <stdexcept>

#include "core/app/Settings.h"
#include "core/app/TextUtil.h"
#include "gui/intake/SizeLimit.h"
#include "gui/ui/PromptBoxDialog.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ChoiceReach.h"

namespace {

constexpr const char* kCompressTypeOptions[] = {"compress-type-general", "compress-type-deep",
                                                "compress-type-limit"};
constexpr const char* kVideoTypeOptions[] = {"radio_ori", "radio_mp4", "radio_flv", "radio_mov",
                                             "radio_mkv"};

using choices::kResolutions;
using choices::kSampleRates;
constexpr const auto& kChannels = choices::kAudioChannels;
constexpr const auto& kBitrates = choices::kAudioBitrates;

// Checks the option of the group at index; an index outside the group leaves none checked.
template <size_t N>
void SelectOption(QAbstractButton* const (&group)[N], int index)
{
    for (int i = 0; i < static_cast<int>(N); ++i) {
        QAbstractButton* option = group[i];
        if (i == index) {
            option->setChecked(true);
        } else if (option->isChecked()) {
            // An exclusive option cannot be unchecked while it is the group's only choice.
            const bool exclusive = option->autoExclusive();
            option->setAutoExclusive(false);
            option->setChecked(false);
            option->setAutoExclusive(exclusive);
        }
    }
}

// The position of the checked option, or -1.
template <size_t N>
int CheckedOption(QAbstractButton* const (&group)[N])
{
    for (int i = 0; i < static_cast<int>(N); ++i) {
        if (group[i]->isChecked()) return i;
    }
    return -1;
}

// The list's current row, when the table has it.
template <class Table>
bool InTable(const QComboBox* list, const Table& table)
{
    const int row = list->currentIndex();
    return row >= 0 && row < static_cast<int>(table.size());
}

}  // namespace

ParamDialog::ParamDialog(QWidget* owner, int taskId, const CompressParams& params,
                         const std::optional<VideoTask>& source, const MainPageSnapshot& page,
                         qint64 maxBytes)
    : WindowImplBase(owner, Kind::Dialog),
      owner_(owner),
      params_(params),
      source_(source),
      page_(page),
      maxBytes_(maxBytes)
{
    params_.unique_id = taskId;
    DebugPrint("unique_id: %d\n", taskId);
}

ParamDialog::~ParamDialog() = default;

CompressParams ParamDialog::DefaultParams(int taskId)
{
    // The positions are those of the settings' own defaults; the values match them.
    CompressParams params;
    params.unique_id = taskId;
    params.compressType = settings::kCompressType.defaultValue;
    params.videoType = settings::kVideoType.defaultValue;
    params.ratioIndex = settings::kVideoRatioIndex.defaultValue;
    params.width = kResolutions[params.ratioIndex].width;
    params.height = kResolutions[params.ratioIndex].height;
    params.channelIndex = settings::kAudioChannelIndex.defaultValue;
    params.channel = kChannels[params.channelIndex];
    params.sampleRateIndex = settings::kAudioSampleRateIndex.defaultValue;
    params.sampleRate = kSampleRates[params.sampleRateIndex];
    params.bitrateIndex = settings::kAudioBitrateIndex.defaultValue;
    params.bitrate = kBitrates[params.bitrateIndex];
    return params;
}

int ParamDialog::Open(QWidget* owner, int taskId, const std::optional<CompressParams>& own,
                      const std::optional<VideoTask>& source, const MainPageSnapshot& page,
                      qint64 maxBytes)
{
    // A row without a record of its own has no size limit of its own either.
    auto dialog = std::make_unique<ParamDialog>(owner, taskId, own.value_or(DefaultParams(taskId)),
                                                source, page, own ? maxBytes : 0);
    dialog->Create();
    dialog->CenterWindow();
    // Once shown, the dialog owns itself: it is deleted after it closes.
    return dialog.release()->ShowModal();
}

void ParamDialog::InitWindow()
{
    try {
        for (int i = 0; i < 3; ++i) {
            compressTypes_[i] = FindControl<QAbstractButton>(kCompressTypeOptions[i]);
            if (!compressTypes_[i]) throw std::runtime_error(kCompressTypeOptions[i]);
        }
        for (int i = 0; i < 5; ++i) {
            videoTypes_[i] = FindControl<QAbstractButton>(kVideoTypeOptions[i]);
            if (!videoTypes_[i]) throw std::runtime_error(kVideoTypeOptions[i]);
        }
        ratio_ = FindControl<QComboBox>("video-ratio");
        channel_ = FindControl<QComboBox>("audio-channel");
        sampleRate_ = FindControl<QComboBox>("audio-sample-rate");
        bitrate_ = FindControl<QComboBox>("audio-bitrate");
        codec_ = FindControl<QComboBox>("video-codec");
        maxSize_ = FindControl<QLineEdit>("max-size");
        maxSizeUnit_ = FindControl<QComboBox>("max-size-unit");
        if (!ratio_ || !channel_ || !sampleRate_ || !bitrate_ || !codec_ || !maxSize_ ||
            !maxSizeUnit_)
            throw std::runtime_error("lists");
        if (!FindControl<QAbstractButton>("save") || !FindControl<QAbstractButton>("cancel"))
            throw std::runtime_error("buttons");
        codecTip_ = codec_->toolTip();
        ShowParams(params_);
        sizelimit::Write(maxSize_, maxSizeUnit_, maxBytes_);
        connect(codec_, &QComboBox::currentIndexChanged, this, [this] { ShowReach(); });
        for (QAbstractButton* option : videoTypes_)
            connect(option, &QAbstractButton::toggled, this, [this] { ShowReach(); });
        ShowReach();
    } catch (...) {
        throw std::runtime_error("ParamDialog::Init");
    }
}

void ParamDialog::ShowParams(const CompressParams& params)
{
    SelectOption(compressTypes_, params.compressType);
    SelectOption(videoTypes_, params.videoType);
    // A position the list does not have selects no row.
    ratio_->setCurrentIndex(params.ratioIndex);
    channel_->setCurrentIndex(params.channelIndex);
    sampleRate_->setCurrentIndex(params.sampleRateIndex);
    bitrate_->setCurrentIndex(params.bitrateIndex);
    codec_->setCurrentIndex(params.videoCodec);
}

void ParamDialog::Notify(skin::Notification& msg)
{
    const QString& name = msg.senderName;
    if (msg.type == QLatin1String(skin::kSelectChanged) && msg.wParam) {
        for (int i = 0; i < 3; ++i)
            if (name == QLatin1String(kCompressTypeOptions[i])) params_.compressType = i;
        for (int i = 0; i < 5; ++i)
            if (name == QLatin1String(kVideoTypeOptions[i])) params_.videoType = i;
    } else if (msg.type == QLatin1String(skin::kClick)) {
        if (name == QLatin1String("save")) Save();
        if (name == QLatin1String("cancel")) ResetToDefaults();
    }
    WindowImplBase::Notify(msg);
}

void ParamDialog::ReadControls()
{
    // An option group or a list without a choice leaves its fields as they were.
    if (const int type = CheckedOption(compressTypes_); type >= 0) params_.compressType = type;
    if (const int type = CheckedOption(videoTypes_); type >= 0) params_.videoType = type;
    if (InTable(ratio_, kResolutions)) {
        params_.ratioIndex = ratio_->currentIndex();
        params_.width = kResolutions[params_.ratioIndex].width;
        params_.height = kResolutions[params_.ratioIndex].height;
    }
    if (InTable(channel_, kChannels)) {
        params_.channelIndex = channel_->currentIndex();
        params_.channel = kChannels[params_.channelIndex];
    }
    if (InTable(sampleRate_, kSampleRates)) {
        params_.sampleRateIndex = sampleRate_->currentIndex();
        params_.sampleRate = kSampleRates[params_.sampleRateIndex];
    }
    if (InTable(codec_, choices::kVideoCodecs)) params_.videoCodec = codec_->currentIndex();
    if (InTable(bitrate_, kBitrates)) {
        params_.bitrateIndex = bitrate_->currentIndex();
        params_.bitrate = kBitrates[params_.bitrateIndex];
    }
}

void ParamDialog::ShowReach()
{
    ChoiceReach reach;
    if (source_) {
        const CompressParams saved = params_;
        ReadControls();
        reach = ReachOf(*source_, ResolveCompressSettings(params_, {}), page_);
        params_ = saved;
    }
    codec_->setEnabled(reach.codec);
    codec_->setToolTip(reach.codec ? codecTip_ : reach.codecReason);
    for (const char* name : {"video-codec-label"})
        if (QWidget* label = FindControl(name)) label->setEnabled(reach.codec);
    for (QComboBox* list : {channel_, sampleRate_, bitrate_}) {
        list->setEnabled(reach.audio);
        list->setToolTip(reach.audio ? QString() : reach.audioReason);
    }
    for (const char* name :
         {"audio-channel-label", "audio-sample-rate-label", "audio-bitrate-label"})
        if (QWidget* label = FindControl(name)) label->setEnabled(reach.audio);
    QStringList reasons;
    if (!reach.codec) reasons << reach.codecReason;
    if (!reach.audio) reasons << reach.audioReason;
    if (auto* note = FindControl<QLabel>("param-not-applied")) {
        note->setText(reasons.join(u'\n'));
        note->setVisible(!reasons.isEmpty());
    }
}

void ParamDialog::Save()
{
    QString error;
    const std::optional<qint64> bytes = sizelimit::Read(maxSize_, maxSizeUnit_, &error);
    if (!bytes) {
        // The dialog stays open with what was typed, to be put right.
        PromptBoxDialog::Show(this, error);
        return;
    }
    maxBytes_ = *bytes;
    ReadControls();
    DebugPrint("bitrate: %d\n", params_.bitrate);
    DebugPrint("bitrateIndex: %d\n", params_.bitrateIndex);
    DebugPrint("channel: %d\n", params_.channel);
    DebugPrint("channelIndex: %d\n", params_.channelIndex);
    DebugPrint("compressType: %d\n", params_.compressType);
    DebugPrint("height: %d\n", params_.height);
    DebugPrint("sampleRate: %d\n", params_.sampleRate);
    DebugPrint("sampleRateIndex: %d\n", params_.sampleRateIndex);
    if (owner_) {
        skin::Message message = skin::MakeMessage(UM_VIDEO_PARAM_SAVE, params_);
        message.lParam = static_cast<qintptr>(maxBytes_);
        skin::PostMessage(owner_, std::move(message));
    }
    Close(1);
}

void ParamDialog::ResetToDefaults()
{
    // Only the controls change: the owner drops the row's record, and a later save stores
    // what the controls then show.
    const CompressParams record = params_;
    ShowParams(DefaultParams(params_.unique_id));
    sizelimit::Write(maxSize_, maxSizeUnit_, 0);
    params_ = record;
    if (owner_) skin::PostMessage(owner_, UM_VIDEO_PARAM_RESET, params_.unique_id);
}
