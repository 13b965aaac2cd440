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
