#include "job/outputnames.h"

#include <climits>

namespace {

// The longest file name the usual file systems take, in bytes.
constexpr size_t kMaxFileName = 255;

bool HasControlCharacter(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

bool COutputNamer::Parse(std::string_view text, std::string& problem) {
    m_default = text.empty() || text == kDefault;
    std::string unknown;
    if (!m_template.Parse(m_default ? std::string_view(kDefault) : text, unknown, true)) {
        m_default = true;
        m_template.Parse(kDefault, unknown, true);
        problem = "unknown placeholder " + Quoted(unknown);
        return false;
    }
    // What the literal parts alone already spoil: every name would carry it.
    const std::string literal = m_template.Literal();
    const char* found = nullptr;
    if (literal.find('/') != std::string::npos)
        found = "contains '/': a name cannot make folders";
    else if (!literal.empty() && literal.front() == '.')
        found = "begins with '.': the outputs would be hidden files";
    else if (HasControlCharacter(literal))
        found = "contains a control character";
    if (found) {
        problem = Quoted(std::string(text)) + " " + found;
        m_default = true;
        m_template.Parse(kDefault, unknown, true);
        return false;
    }
    return true;
}

std::string COutputNamer::Name(const std::string& path, const CSavedMarker* markers, int index,
                               int count, const std::string& extension,
                               std::string& problem) const {
    const int width = int(std::to_string(count > 0 ? count : 1).size());
    std::string number = std::to_string(index + 1);
    if (int(number.size()) < width)
        number.insert(0, size_t(width) - number.size(), '0');
    std::string name = m_template.Fill(path, markers, number);
    problem = OutputNameProblem(name, extension);
    return name;
}

std::string OutputNameProblem(const std::string& name, const std::string& extension) {
    if (name.empty())
        return "the file name template gives an empty name";
    const std::string shown = Quoted(name);
    if (name.find('/') != std::string::npos)
        return "the file name template gives " + shown + ", which contains '/'";
    if (name == "." || name == "..")
        return "the file name template gives " + shown;
    if (name.front() == '.')
        return "the file name template gives " + shown + ", a hidden name";
    if (HasControlCharacter(name))
        return "the file name template gives a name with a control character";
    if (name.size() + extension.size() > kMaxFileName)
        return "the file name template gives a name longer than " + std::to_string(kMaxFileName) +
               " bytes";
    return {};
}

std::string KeptBesidePath(const std::string& path, const std::string& extension, int k) {
    const bool hasExtension =
        path.size() >= extension.size() &&
        path.compare(path.size() - extension.size(), extension.size(), extension) == 0;
    const std::string stem = hasExtension ? path.substr(0, path.size() - extension.size()) : path;
    return stem + "-" + std::to_string(k) + (hasExtension ? extension : std::string());
}
