#include "package_writer.h"

#include "member_encoder.h"
#include "package_format.h"

static void PutMarker(std::vector<uint8_t>& package)
{
    package.insert(package.end(), kPackageMarker, kPackageMarker + sizeof kPackageMarker);
}

std::vector<uint8_t> AssemblePackage(const std::vector<uint8_t> (&members)[PACKAGE_MEMBERS])
{
    std::vector<uint8_t> package;
    PutMarker(package);
    for (const auto& member : members) {
        package.insert(package.end(), member.begin(), member.end());
        PutMarker(package);
    }
    PutMarker(package);
    package.push_back('\r');
    package.push_back('\n');
    return package;
}

uint32_t PackageChecksum(const uint8_t* package, size_t size)
{
    static const uint32_t weights[4] = {1, 2, 3, static_cast<uint32_t>(-4)};
    uint32_t sum = 0;
    if (size < 10)
        return sum;
    for (size_t k = 0; k < size - 10; k++)
        sum += weights[k % 4] * package[4 + k];
    return sum;
}

bool BuildPackage(const std::vector<uint8_t> (&files)[PACKAGE_MEMBERS], std::vector<uint8_t>& package,
                  uint32_t& checksum, std::string& error)
{
    package.clear();
    checksum = 0;
    std::vector<uint8_t> members[PACKAGE_MEMBERS];
    for (int i = 0; i < PACKAGE_MEMBERS; i++) {
        std::string why;
        if (!EncodeMemberAvoiding(files[i].data(), files[i].size(), kPackageMarker, sizeof kPackageMarker,
                                  members[i], why)) {
            error = std::string(MemberTable[i]) + ": " + why;
            return false;
        }
    }
    package = AssemblePackage(members);
    checksum = PackageChecksum(package.data(), package.size());
    return true;
}
