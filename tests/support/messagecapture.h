#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the debug, warning and other messages sent while it lives, and puts the
// handler that was there before (QtTest's own, which counts and checks them) back.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList messages() const { return m_messages; }
    // Only the messages of one kind, in the order they came.
    QStringList messages(QtMsgType type) const;

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QtMessageHandler m_previous;
    MessageCapture* m_outer;
    QStringList m_messages;
    QList<QtMsgType> m_types;
};
