#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The private home of this test process. TestMain sets HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_CACHE_HOME and XDG_RUNTIME_DIR below a fresh temporary folder before anything else runs,
// so no test touches the real user's files and every test starts from an empty configuration.
namespace testenv {

QString Home();
QString ConfigHome();  // $XDG_CONFIG_HOME
QString RuntimeDir();  // $XDG_RUNTIME_DIR

// Writes a whole file (creating its folder); returns false on failure.
bool WriteFile(const QString& path, const QByteArray& content);
QByteArray ReadFile(const QString& path);

// Points the XDG Documents and Desktop dirs at these folders (user-dirs.dirs under
// XDG_CONFIG_HOME); the folders themselves are not created.
void SetUserDirs(const QString& documents, const QString& desktop);

}  // namespace testenv

#include <functional>

class QWidget;

namespace testenv {

// Processes events until condition holds or timeoutMs passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// The visible top-level window whose class name (WindowImplBase::GetWindowClassName) is
// className, or null.
QWidget* FindShownWindow(const QString& className);

// Watches, from the event loop, for a visible window of className and clicks its button
// buttonName once it appears; the text of its "msgText" label (if any) lands in *seenText.
// Use it before an action that runs a modal loop.
void ClickWhenShown(const QString& className, const QString& buttonName,
                    QString* seenText = nullptr, int timeoutMs = 5000);

}  // namespace testenv

namespace testenv {

// Clicks buttonName in every window of className that shows up while it lives (checked every
// 20 ms from the event loop), and records the "msgText" of each and what the callback returns.
class AutoAnswer {
public:
    AutoAnswer(const QString& className, const QString& buttonName,
               std::function<QString()> onShown = nullptr);
    ~AutoAnswer();
    const QStringList& texts() const { return texts_; }
    const QStringList& notes() const { return notes_; }

private:
    QObject* timer_;
    QStringList texts_;
    QStringList notes_;
};

// Makes a small video with ffmpeg (lavfi test pattern, optional sine audio); true on success.
bool MakeVideo(const QString& path, double seconds = 1.0, const QString& size = "64x48",
               bool audio = true, const QStringList& extraOutputArgs = {});

// Runs ImageMagick's convert with these arguments (to make test images); true on success.
bool Convert(const QStringList& arguments);

}  // namespace testenv

namespace testenv {

// Runs fn on a thread that has dropped the capabilities which let root ignore file permissions
// (capabilities are per thread on Linux), so a read-only folder refuses writes even when the
// tests run as root. False, and fn not run, when a write into the read-only probeDir still
// succeeds there.
bool RunUnderFilePermissions(const QString& probeDir, const std::function<void()>& fn);

}  // namespace testenv
