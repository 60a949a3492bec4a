// kestrix-send: the frame-sending helper of MAC mode, the one Kestrix program
// that holds the right to send raw frames (CAP_NET_RAW). It links no Qt and
// loads no library its caller could name, and it starts by clearing its
// environment. One request a line on standard input, one answer a line on
// standard output (see link/FrameHelper.h); it ends at the end of its input.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "link/FrameHelper.h"

int main(int argc, char*[]) {
    ::clearenv();
    if (argc > 1) {
        std::fputs("usage: kestrix-send (requests on standard input: <device> <frame as hex>)\n", stderr);
        return 2;
    }
    kestrix::LibpcapCapture capture;
    kestrix::FrameDevice device(capture);
    for (std::string line; std::getline(std::cin, line);)
        std::cout << kestrix::HandleFrameRequest(device, line) << std::flush;
    return 0;
}
