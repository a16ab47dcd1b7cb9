#pragma once
// The exceptions that carry the program's messages. Handlers let them escape; the application's
// exception filter shows their text.

#include <stdexcept>
#include <string>

namespace mp3core {

class Exception : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Code: the system's error number when it gave one (0 when the file merely ended early), so
// that a report can say why in the system's words.
class EStreamError : public Exception
{
public:
    explicit EStreamError(const std::string &message, int code = 0) : Exception(message), Code(code)
    {
    }
    int Code;
};

// "Cannot open file "%s". %s": the path, then the system's reason.
class EFOpenError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EReadError : public EStreamError
{
public:
    explicit EReadError(int code = 0) : EStreamError("Stream read error", code) {}
};

class EWriteError : public EStreamError
{
public:
    explicit EWriteError(int code = 0) : EStreamError("Stream write error", code) {}
};

// A text that is not a number or not a time.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

} // namespace mp3core
