#include "Decoder.h"

#include <mpg123.h>

mpg123_handle *OpenDecoder(const std::string &fileName, long &rate, int &channels,
                           std::string &error)
{
    static const bool ready = mpg123_init() == MPG123_OK;
    int err = MPG123_OK;
    mpg123_handle *mh = ready ? mpg123_new(nullptr, &err) : nullptr;
    if (mh == nullptr) {
        error = ready ? mpg123_plain_strerror(err) : "the MPEG audio decoder cannot be started";
        return nullptr;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    int encoding = 0;
    if (mpg123_open(mh, fileName.c_str()) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
        error = mpg123_strerror(mh);
        CloseDecoder(mh);
        return nullptr;
    }
    mpg123_format_none(mh);
    mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
    return mh;
}

void CloseDecoder(mpg123_handle *handle)
{
    if (handle != nullptr) {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
}
