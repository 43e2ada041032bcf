#pragma once

class QCoreApplication;
class QLocale;

namespace quillmoor::app {

// Installs the toolkit's own translations (the OK and Cancel of message
// boxes, the standard dialogs) for `locale` from the toolkit's translations
// folder. False when none is installed for that locale; English stays.
bool LoadToolkitTranslations(QCoreApplication& app, const QLocale& locale);

} // namespace quillmoor::app
