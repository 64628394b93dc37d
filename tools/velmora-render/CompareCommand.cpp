// compare A B [--tolerance T]: the largest channel difference between two images of one size.
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "Command.h"
#include "ImageFiles.h"
#include "params/NumberText.h"

namespace {

const char kCompareUsage[] =
    "usage: velmora-render compare A B [--tolerance T]\n"
    "  Prints the largest and the mean difference of any channel between two images of one size;\n"
    "  with --tolerance, exits 1 when the largest is above T.\n";

struct Difference {
    double largest = 0, mean = 0;
    int x = 0, y = 0, channel = 0;
};

Difference compareImages(const vhost::Image& a, const vhost::Image& b) {
    Difference d;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const float* p = a.pixel(a.bounds().x1 + x, a.bounds().y1 + y);
            const float* q = b.pixel(b.bounds().x1 + x, b.bounds().y1 + y);
            for (int c = 0; c < 4; ++c) {
                // A NaN on one side only counts as an infinite difference.
                // Equal values, infinities of one sign included, do not differ.
                const double diff = std::isnan(p[c]) != std::isnan(q[c]) ? INFINITY
                                    : std::isnan(p[c]) || p[c] == q[c]   ? 0.0
                                                                         : std::fabs(double(p[c]) - q[c]);
                sum += diff;
                if (diff > d.largest) d = {diff, 0, x, a.height() - 1 - y, c};
            }
        }
    }
    d.mean = sum / (4.0 * a.width() * a.height());
    return d;
}

}  // namespace

int runCompare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> files;
    double tolerance = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kCompareUsage;
            return 0;
        }
        if (args[i] == "--tolerance") {
            if (i + 1 >= args.size() ||
                numbertext::parseDouble(args[i + 1], tolerance) != numbertext::ParseStatus::Ok ||
                !(tolerance >= 0)) {
                err << "velmora-render compare: --tolerance needs a number of 0 or more\n" << kCompareUsage;
                return 2;
            }
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) {
        err << "velmora-render compare: expected two image files\n" << kCompareUsage;
        return 2;
    }
    try {
        const vhost::ImagePtr a = imagefiles::readImage(files[0]);
        const vhost::ImagePtr b = imagefiles::readImage(files[1]);
        if (a->width() != b->width() || a->height() != b->height()) {
            err << "velmora-render compare: " << files[0] << " is " << a->width() << "x" << a->height()
                << " but " << files[1] << " is " << b->width() << "x" << b->height() << "\n";
            return 1;
        }
        const Difference d = compareImages(*a, *b);
        static const char kChannels[] = "RGBA";
        out << "max difference " << d.largest << " (" << kChannels[d.channel] << " at " << d.x << "," << d.y
            << " from the top left), mean " << d.mean << "\n";
        return tolerance >= 0 && d.largest > tolerance ? 1 : 0;
    } catch (const imagefiles::ImageFileError& e) {
        err << "velmora-render compare: " << e.what() << "\n";
        return 1;
    }
}
