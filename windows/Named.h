#pragma once

#include <QObject>
#include <QString>

// Gives a control the name its handlers and the tests know it by.
template <typename T>
T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}
