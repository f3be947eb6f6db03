// Linked into every test: Qt's settings, caches and data go to its test
// locations (~/.qttest), never to the user's, where Qt also keeps the file
// dialog's history and last folder.
#include <QStandardPaths>
#include <QtGlobal>

namespace {

void enableTestMode()
{
    QStandardPaths::setTestModeEnabled(true);
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(enableTestMode)
