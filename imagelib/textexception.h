#pragma once

#include "imagelib/plobject.h"

#include <string>

// The image library's only exception: an error code and a text meant for the user.
class CTextException : public CPLObject {
public:
    CTextException(int code, std::string text) : m_code(code), m_text(std::move(text)) {}
    CTextException(const CTextException& other)
        : CPLObject(), m_code(other.GetCode()), m_text(other.GetText()) {}
    CTextException& operator=(const CTextException&) = default;

    virtual int GetCode() const { return m_code; }
    virtual const std::string& GetText() const { return m_text; }

private:
    int m_code;
    std::string m_text;
};
