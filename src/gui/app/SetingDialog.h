// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>

#include "gui/skinlib/WindowImplBase.h"

// The settings window: the output folder, the audio defaults of videos without their own
// parameters, keeping the smaller file, where outputs go (the output folder flat or with the
// added folders' tree, beside each source under a suffix, in place of the source), what of the
// source an output keeps (every track, the file dates, the photo information and its location)
// and what the main window's close button does. There is no apply step: each choice
// is written to configure.ini the moment it is made, and the workers read it when they start
// their next task. The dialog deletes itself once closed.
class SetingDialog : public WindowImplBase {
    Q_OBJECT
public:
    explicit SetingDialog(QWidget* owner);
    ~SetingDialog() override;

    // Opens the dialog centred over owner and returns once it is closed. While one is open,
    // another call only brings that one to the front.
    static void Open(QWidget* owner);

    QString GetWindowClassName() const override { return QStringLiteral("系统设置"); }
    QString GetSkinFile() const override { return QStringLiteral("Seting.xml"); }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    // A suffix typed and not yet confirmed is written (or refused) as the dialog closes.
    bool OnClose(qintptr wParam) override;

private:
    void WriteAudioRow(const QString& combo, qintptr row);
    // Writes the suffix field when it holds one; otherwise says why and shows the stored one.
    void CommitSuffix();
    // The suffix field applies to outputs beside their sources; the location to kept photo
    // information.
    void ShowDependents();
    // Returns false when the chosen folder was refused.
    bool ChooseOutputFolder();
    void OpenOutputFolder();

    static QPointer<SetingDialog>& Current();

    bool committingSuffix_ = false;  // the refusal's notice is open
};
