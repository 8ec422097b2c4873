// The two buffer sizes both programs share, each spelled once.
#ifndef COMMON_BUFFERS_H
#define COMMON_BUFFERS_H

enum CommonBufferSize {
    PATH_BUF = 261,  // a Windows path: MAX_PATH (260) characters and the terminator
    TEXT_BUF = 1000, // a message text, a log line's stamp, a scratch buffer
};

#endif
