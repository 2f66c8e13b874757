// Finds the windows' controls the way a designer names them: by object name and, for arrays, by index.
#pragma once

#include <QObject>
#include <QVariant>
#include <QWidget>

template<typename T = QWidget> T *control(const QObject *root, const QString &name, int index = -1)
{
    const auto found = root->findChildren<T *>(name);
    for (T *candidate : found)
        if (index < 0 || candidate->property("index") == QVariant(index))
            return candidate;
    return nullptr;
}

// The designer name of the widget that has the focus; a combo box's text field counts as the combo box.
inline QString focusName(const QWidget *focused)
{
    if (!focused)
        return QString();
    if (focused->objectName().isEmpty() && focused->parentWidget())
        return focused->parentWidget()->objectName();
    return focused->objectName();
}
