#include "app/qt/PasswordStarStyle.h"

namespace quillmoor::app {

int PasswordStarStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const {
    if (hint == SH_LineEdit_PasswordCharacter)
        return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace quillmoor::app
