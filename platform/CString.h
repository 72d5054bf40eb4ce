#pragma once
#include "platform/Win32.h"

// A string of bytes in the ANSI code page with a stored length, always NUL-terminated.
class CString {
public:
    CString();
    CString(const char* text);
    CString(const char* text, int length);
    CString(const CString& other);
    CString& operator=(const CString& other);
    ~CString();

    int GetLength() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }
    operator const char*() const { return m_data; }

    // Room for at least minLength bytes and a NUL, for a platform call to fill;
    // ReleaseBuffer then takes the length up to the first NUL.
    char* GetBuffer(int minLength);
    void ReleaseBuffer();

#ifdef _WIN32
    // Loads a string resource; the string is left empty when there is none.
    BOOL LoadString(UINT id);
#endif

private:
    void Assign(const char* text, int length);

    char* m_data;
    int m_length;
};
