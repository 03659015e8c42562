#pragma once

#include "platform/MessageBox.h"

class QtMessageBox : public MessageBox
{
public:
    void Show(const QString& text) override;
};
