// The texts of kelvarin-device's manual beside its options. The options
// document themselves where they are added (main.cpp).
#include "manual_text.h"

namespace kelvarin::device {

std::vector<manual::Section> CommandSections(std::string_view /*command*/) {
    return {
        {"Exit status",
         "",
         {{"0", "Stopped cleanly (SIGINT or SIGTERM; Ctrl+C on Windows)."},
          {"1", "A port cannot be bound, or the server failed."},
          {"2", "Usage error, or an image of --load that cannot be used (unreadable, larger "
                "than 131072 bytes, of odd length, broken or of no records), refused as "
                "kelvarin-cli send --image refuses it."}},
         {}},
        {"Modbus",
         "Function 21 (Write File Record) with one sub-request of reference type 6, file 16 or "
         "17 (the two 64 KiB pages of the 131072-byte image memory at device address "
         "0x120000), record number = byte offset in the page: the data is stored and the "
         "request echoed. Function 20 (Read File Record): one or more sub-requests of "
         "reference type 6 in files 16 and 17, at most 121 words a response. Anything else "
         "gets an exception: 01 unknown function, 02 an address outside the pages or another "
         "reference type, 03 inconsistent lengths. At most 64 connections a port.",
         {},
         {}},
        {"Identification",
         "Function 43 with MEI type 14 (Read Device Identification) names the device: objects "
         "0 to 2 (--vendor, --product, --revision) always, objects 3 to 6 (--vendor-url, "
         "--product-name, --model-name, --application-name) only when given. Read code 1 "
         "streams objects 0 to 2, codes 2 and 3 every object it has (it has no extended "
         "ones), from the object id asked for when the stream holds it and from object 0 "
         "otherwise; objects that do not fit one response come in the next (more follows "
         "0xFF, the next object id). Read code 4 reads one object: exception 02 for one it "
         "lacks. Exception 03 for another read code, 01 for another MEI type. Conformity level "
         "0x82 when any of objects 3 to 6 is given, else 0x81 (stream and single-object access "
         "both). With --no-identity, function 43 gets exception 01 as on a device without it. "
         "Every device of --count answers alike; --unit applies as to every function.",
         {},
         {}},
        {"Modbus/TCP Security",
         "With --tls the Modbus port speaks only TLS 1.2 or later, the unchanged frames "
         "inside it: a client must show a certificate that chains to --ca, or the handshake "
         "fails and nothing it sent is taken. A handshake not finished within "
         "--handshake-timeout milliseconds of the connect is dropped, and when the port's 64 "
         "places are taken the oldest connection still in its handshake makes room for a new "
         "one; the log names each client address once for each. The --modbus-timeout idle "
         "time starts when the handshake ends. With --write-role or --read-role (neither "
         "empty), function 21 (or 20 and 43) is allowed only to certificates whose role (extension "
         "1.3.6.1.4.1.50316.802.1, one UTF8String) is one of those given; others get "
         "exception 01 and nothing is stored. A certificate with more than one role "
         "extension, or a role that is not one UTF8String, gets exception 01 for every "
         "request, said in the log. The HTTP port is unchanged.",
         {},
         {}},
        {"HTTP",
         "GET /path sends the stored record's response bytes as they are; a path ending in "
         "\"/\" serves that folder's index.htm, else its index.html; a folder named without "
         "its \"/\" is redirected (301); anything else is a short 404. A client has "
         "--http-timeout milliseconds to send its request.",
         {},
         {}},
        {"Output",
         "The first line (one per device with --count) says where it listens; with port 0 "
         "it names the ports chosen. With --image-out, each image saved is said as "
         "\"image PATH\".",
         {},
         {"modbus 127.0.0.1:PORT http 127.0.0.1:PORT"}},
        {"Files",
         "",
         {{"--load IMAGE", "An image made by kelvarin-cli pack, held from the start; checked "
                           "as kelvarin-cli send --image checks it."},
          {"--image-out PATH", "The whole memory after each write burst (PATH.0, PATH.1, ... "
                               "with --count)."}},
         {}},
        {"Examples",
         "",
         {{"kelvarin-device --modbus-port 0 --http-port 0",
           "One device on free loopback ports."},
          {"kelvarin-cli pack -o image.bin --site /srv/site --content-types --gzip && "
           "kelvarin-device --load image.bin",
           "Serve at http://127.0.0.1:8080/ exactly what a device sent image.bin will serve."},
          {"kelvarin-device --count 100 --modbus-port 15000 --fault delay=1",
           "A hundred devices on ports 15000..15099, each reply 1 ms late."},
          {"kelvarin-device --count 20 --modbus-port 15000 --vendor ACME --product-name "
           "\"Boiler panel\"",
           "Twenty devices that say they are ACME's boiler panels when read with function 43."},
          {"kelvarin-device --modbus-port 802 --tls --cert device.pem --key device.key "
           "--ca plant-ca.pem --write-role Operator",
           "A device speaking Modbus/TCP Security that takes writes only from operators."}},
         {}},
        {"See also", "kelvarin-cli(1), kelvarin(1)", {}, {}},
    };
}

std::vector<manual::Section> ProgramSections() {
    return {};
}

}  // namespace kelvarin::device
