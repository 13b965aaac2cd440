#pragma once

#include <QString>

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
