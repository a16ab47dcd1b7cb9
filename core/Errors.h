#pragma once
// The exceptions that carry the program's messages. Handlers let them escape; the application's
// exception filter shows their text.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class EStreamError : public Exception
{
public:
    using Exception::Exception;
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
    EReadError() : EStreamError("Stream read error") {}
};

class EWriteError : public EStreamError
{
public:
    EWriteError() : EStreamError("Stream write error") {}
};

// A text that is not a number or not a time.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};
