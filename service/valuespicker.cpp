#include "valuespicker.h"

namespace {
bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

bool ValuesPicker::read(QByteArrayView piece)
{
    for (qsizetype at = 0; at < piece.size() && m_state != State::Failed && m_state != State::End;) {
        if (m_state == State::Value)
            at = readValue(piece, at);
        else
            take(piece.at(at++));
    }
    return m_state != State::Failed;
}

qsizetype ValuesPicker::readValue(QByteArrayView piece, qsizetype at)
{
    // The text goes whole up to a quote that closes it; a backslash escapes the character after it, which may lie
    // in the next piece.
    qsizetype end = at;
    while (end < piece.size() && (m_escaped || piece.at(end) != '"')) {
        m_escaped = !m_escaped && piece.at(end) == '\\';
        ++end;
    }
    if (m_picking)
        m_picked += piece.sliced(at, end - at);
    if (end == piece.size())
        return end;
    if (m_picking)
        m_picked += '"';
    m_state = State::AfterValue;
    return end + 1;
}

void ValuesPicker::take(char c)
{
    const auto expect = [this, c](char wanted, State next) { m_state = c == wanted ? next : State::Failed; };
    if (blank(c) && m_state != State::Name)
        return;
    switch (m_state) {
    case State::Start:
        expect('{', State::BeforeName);
        break;
    case State::BeforeName:
        m_name.clear();
        m_state = c == '"' ? State::Name : c == '}' ? State::End : State::Failed;
        break;
    case State::Name:
        // The service's names are identifiers: one that needs an escape is none of its own.
        if (c == '\\')
            m_state = State::Failed;
        else if (c == '"')
            m_state = State::AfterName;
        else
            m_name += c;
        break;
    case State::AfterName:
        expect(':', State::BeforeValue);
        break;
    case State::BeforeValue:
        expect('"', State::Value);
        m_picking = m_state == State::Value && m_wanted(m_name);
        if (m_picking)
            m_picked += (m_picked.size() > 1 ? ",\"" : "\"") + m_name + "\":\"";
        break;
    case State::AfterValue:
        m_state = c == ',' ? State::BeforeName : c == '}' ? State::End : State::Failed;
        break;
    case State::Value:
    case State::End:
    case State::Failed:
        break;
    }
}

QByteArray ValuesPicker::picked() const
{
    return m_state == State::End ? m_picked + '}' : QByteArray();
}
