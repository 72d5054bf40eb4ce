#include "platform/CString.h"

#include <cstring>

namespace {
char g_empty[1] = "";
}

CString::CString() : m_data(g_empty), m_length(0) {}

CString::CString(const char* text) : CString()
{
    if (text)
        Assign(text, static_cast<int>(std::strlen(text)));
}

CString::CString(const char* text, int length) : CString() { Assign(text, length); }

CString::CString(const CString& other) : CString() { Assign(other.m_data, other.m_length); }

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        Assign(other.m_data, other.m_length);
    return *this;
}

CString::~CString()
{
    if (m_data != g_empty)
        delete[] m_data;
}

void CString::Assign(const char* text, int length)
{
    char* data = g_empty;
    if (length > 0) {
        data = new char[length + 1];
        std::memcpy(data, text, length);
        data[length] = '\0';
    } else {
        length = 0;
    }
    if (m_data != g_empty)
        delete[] m_data;
    m_data = data;
    m_length = length;
}

char* CString::GetBuffer(int minLength)
{
    // The shared empty string is never handed out to be written.
    if (minLength > m_length || m_data == g_empty) {
        const int size = minLength > m_length ? minLength : m_length;
        char* data = new char[size + 1];
        std::memcpy(data, m_data, m_length + 1);
        if (m_data != g_empty)
            delete[] m_data;
        m_data = data;
    }
    return m_data;
}

void CString::ReleaseBuffer()
{
    m_length = static_cast<int>(std::strlen(m_data));
}

#ifdef _WIN32
#include "platform/AfxWin.h"

BOOL CString::LoadString(UINT id)
{
    // LoadStringA reports how much it copied; a string that fills the buffer may be longer.
    const HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(id / 16 + 1), RT_STRING);
    for (int size = 256;; size *= 2) {
        const int length = ::LoadStringA(module, id, GetBuffer(size), size + 1);
        if (length < size) {
            m_length = length > 0 ? length : 0;
            m_data[m_length] = '\0';
            return m_length > 0;
        }
    }
}
#endif
