#pragma once

#include "platform/MessageBox.h"

#include <QStringList>

class RecordingMessageBox : public MessageBox
{
public:
    void Show(const QString& text) override { shown.append(text); }

    QStringList shown;
};
