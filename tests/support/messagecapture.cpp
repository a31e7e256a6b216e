#include "messagecapture.h"

namespace {

MessageCapture* current = nullptr;

} // namespace

MessageCapture::MessageCapture()
    : m_previous(qInstallMessageHandler(collect))
    , m_outer(current)
{
    current = this;
}

MessageCapture::~MessageCapture()
{
    current = m_outer;
    qInstallMessageHandler(m_previous);
}

QStringList MessageCapture::messages(QtMsgType type) const
{
    QStringList found;
    for (int i = 0; i < m_messages.size(); ++i) {
        if (m_types.at(i) == type)
            found << m_messages.at(i);
    }
    return found;
}

void MessageCapture::collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    current->m_messages << message;
    current->m_types << type;
}
