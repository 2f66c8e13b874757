// Test port: plays the adapter from a byte trace or a responder and records what the link did to it.
#include "ScriptedPort.h"

#include <QRegularExpression>

namespace serialtest {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

Script::Script(const QString &trace)
{
    char kind = '>';
    const auto tokens = trace.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString &token : tokens) {
        if (token == u">" || token == u"<" || token == u"!") {
            kind = token.at(0).toLatin1();
            if (kind == '!')
                m_items.push_back({'!', {}});
            continue;
        }
        bool ok = false;
        const auto byte = static_cast<char>(token.toUInt(&ok, 16));
        Q_ASSERT_X(ok && token.size() == 2, "Script", "a trace byte is two hex digits");
        if (m_items.empty() || m_items.back().kind != kind)
            m_items.push_back({kind, {}});
        m_items.back().bytes += byte;
    }
}

QByteArray Script::written(const QByteArray &bytes)
{
    QByteArray answers = releaseAnswers();
    for (const char byte : bytes) {
        if (!m_mismatch.isEmpty())
            return {};
        if (m_item == m_items.size() || m_items[m_item].kind != '>') {
            fail(QStringLiteral("sent %1 where the trace has %2")
                     .arg(hex(QByteArray(1, byte)),
                         m_item == m_items.size() ? QStringLiteral("its end") : QStringLiteral("a break")));
            return {};
        }
        const QByteArray &expected = m_items[m_item].bytes;
        if (expected.at(m_offset) != byte) {
            fail(QStringLiteral("sent %1 where the trace has %2")
                     .arg(hex(QByteArray(1, byte)), hex(expected.mid(m_offset, 1))));
            return {};
        }
        ++m_sentTotal;
        if (++m_offset == expected.size()) {
            ++m_item;
            m_offset = 0;
            answers += releaseAnswers();
        }
    }
    return answers;
}

void Script::breakSent()
{
    if (!m_mismatch.isEmpty())
        return;
    if (m_item < m_items.size() && m_items[m_item].kind == '!') {
        ++m_item;
        return;
    }
    fail(QStringLiteral("a break where the trace has none"));
}

QByteArray Script::releaseAnswers()
{
    QByteArray answers;
    while (m_item < m_items.size() && m_items[m_item].kind == '<')
        answers += m_items[m_item++].bytes;
    return answers;
}

void Script::fail(const QString &what)
{
    m_mismatch = QStringLiteral("%1 (after %2 bytes as traced)").arg(what).arg(m_sentTotal);
}

ScriptedPort::ScriptedPort(std::shared_ptr<PortState> state)
    : m_state(std::move(state))
{ }

serial::OpenResult ScriptedPort::open(const QString &)
{
    if (m_state->openResult == serial::OpenResult::Opened) {
        m_state->open = true;
        m_state->lost = false;
        ++m_state->opens;
    }
    return m_state->openResult;
}

void ScriptedPort::close()
{
    m_state->open = false;
}

bool ScriptedPort::isOpen() const
{
    return m_state->open;
}

bool ScriptedPort::lost() const
{
    return m_state->open && m_state->lost;
}

bool ScriptedPort::setBaudRate(int baud)
{
    m_state->baud = baud;
    return m_state->open;
}

bool ScriptedPort::setBreak(bool on)
{
    if (on) {
        ++m_state->breaks;
        if (m_state->onBreak)
            m_state->onBreak();
    }
    return m_state->open;
}

void ScriptedPort::pause(std::chrono::milliseconds duration)
{
    m_state->waited += duration;
}

bool ScriptedPort::write(const QByteArray &bytes)
{
    if (!m_state->open || m_state->lost)
        return false;
    m_state->sent += bytes;
    if (m_state->responder)
        m_state->input += m_state->responder(bytes);
    return true;
}

QByteArray ScriptedPort::read(int count, Clock::time_point deadline)
{
    const QByteArray got = m_state->input.left(count);
    m_state->input.remove(0, got.size());
    if (got.size() < count) // nothing more will come: the link would have waited for the deadline
        m_state->waited += std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return got;
}

bool ScriptedPort::hasInput()
{
    return !m_state->input.isEmpty();
}

void ScriptedPort::clearInput()
{
    m_state->input.clear();
}

std::shared_ptr<PortState> scriptedState(const QString &trace, std::shared_ptr<Script> *script)
{
    auto state = std::make_shared<PortState>();
    auto played = std::make_shared<Script>(trace);
    state->responder = [played](const QByteArray &bytes) { return played->written(bytes); };
    state->onBreak = [played] { played->breakSent(); };
    if (script)
        *script = played;
    return state;
}

} // namespace serialtest
