#pragma once

#include <QProxyStyle>

namespace quillmoor::app {

// The current style, except that password boxes mask with '*' (styles
// differ: some draw a bullet).
class PasswordStarStyle : public QProxyStyle {
    Q_OBJECT

  public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

} // namespace quillmoor::app
