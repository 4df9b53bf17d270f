#include "section_generator.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <vector>

#include "core/CSdata.h"
#include "core/func.h"

namespace normlevel::bench {

namespace {

constexpr double kBankElevation = 100.0;
constexpr double kChannelDepth = 4.0;
constexpr double kValleyRise = 12.0;

struct Valley {
  std::vector<double> x, z;
  std::int32_t il, ip;
};

Valley make_valley(std::int32_t points, std::uint64_t seed = 20261208) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> spacing(0.3, 0.7), noise(-0.15, 0.15);
  Valley v{{}, {}, points * 9 / 20, points * 11 / 20};
  double x = 0;
  for (std::int32_t i = 1; i <= points; ++i) {
    double z;
    if (i < v.il) {
      z = kBankElevation + kValleyRise * std::pow(double(v.il - i) / v.il, 1.5);
    } else if (i > v.ip) {
      z = kBankElevation + kValleyRise * std::pow(double(i - v.ip) / (points - v.ip), 1.5);
    } else {
      const double t = 2.0 * (i - v.il) / (v.ip - v.il) - 1.0;  // -1 ... 1 across the channel
      z = kBankElevation - kChannelDepth * (1 - t * t);
    }
    v.x.push_back(x);
    v.z.push_back(std::round((z + noise(random)) * 1000) / 1000);
    x = std::round((x + spacing(random)) * 1000) / 1000;
  }
  return v;
}

// The discharge the valley carries `depth` above its lowest point.
double discharge_at(const Valley& v, double depth, double s, double nc, double nf) {
  CrossSection d;
  d.s = s;
  d.nc = nc;
  d.nf = nf;
  d.N = static_cast<std::int32_t>(v.x.size());
  d.il = v.il;
  d.ip = v.ip;
  d.x = v.x;
  d.z = v.z;
  d.x.insert(d.x.begin(), 0.0);
  d.z.insert(d.z.begin(), 0.0);
  d.zmin = d.z[1];
  for (std::int32_t i = 1; i <= d.N; ++i) d.zmin = std::min(d.zmin, d.z[i]);
  measure_segments(d);
  return std::round(-balance(d, 0, d.zmin + depth));
}

}  // namespace

void write_valley(const std::string& path, std::int32_t points, double depth) {
  const double s = 0.8, nc = 0.035, nf = 0.06;
  const Valley v = make_valley(points);
  const double Q = depth > 0 ? discharge_at(v, depth, s / 1000, nc, nf) : 1e12;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "Generated valley section, %d points\r\nsurvey noise +-0.15 m\r\n\r\n---\r\n", points);
  std::fprintf(file, "%.0f %.1f %.3f %.3f\r\nN il ip\r\n---\r\n%d %d %d\r\nx z\r\n", Q, s, nc, nf, points, v.il, v.ip);
  for (std::size_t i = 0; i < v.x.size(); ++i) std::fprintf(file, "%.3f %.3f\r\n", v.x[i], v.z[i]);
  std::fclose(file);
}

void write_wide_v(const std::string& path, std::int32_t points) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "A V from -1e5 m to 1e5 m, %d points\r\n\r\n\r\n---\r\n1e30 1.0 0.035 0.06\r\n\r\n---\r\n", points);
  std::fprintf(file, "%d %d %d\r\nx z\r\n", points, points * 9 / 20, points * 11 / 20);
  for (std::int32_t i = 0; i < points; ++i) {
    const double t = 2.0 * i / (points - 1) - 1.0;  // -1 ... 1 across the valley
    std::fprintf(file, "%.3f %.3f\r\n", 1e5 * (t + 1), -1e5 + 2e5 * std::fabs(t));
  }
  std::fclose(file);
}

void write_table(const std::string& path, std::int32_t points, double& left, double& right) {
  const Valley v = make_valley(points);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "station,elevation\r\n");
  for (std::size_t i = 0; i < v.x.size(); ++i) std::fprintf(file, "%.3f,%.3f\r\n", v.x[i], v.z[i]);
  std::fclose(file);
  left = v.x[static_cast<std::size_t>(v.il - 1)];
  right = v.x[static_cast<std::size_t>(v.ip - 1)];
}

double write_geometry(const std::string& path, std::int32_t sections, std::int32_t points) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fprintf(file, "Geom Title=Generated reach, %d sections of %d points\nProgram Version=6.50\n\n", sections, points);
  std::fprintf(file, "River Reach=Generated       ,Reach           \n");
  double discharge = 0;
  for (std::int32_t k = 0; k < sections; ++k) {
    const Valley v = make_valley(points, 1000 + static_cast<std::uint64_t>(k));
    const double drop = 0.05 * k;  // the reach falls downstream
    if (k == 0) discharge = discharge_at(v, 3.0, 0.0008, 0.035, 0.06);
    std::fprintf(file, "\nType RM Length L Ch R = 1 ,%d,100,100,100\n", 100000 - 10 * k);
    std::fprintf(file, "Node Last Edited Time=Dec/09/2026 12:00:00\n#Sta/Elev= %d \n", points);
    for (std::int32_t i = 0; i < points; ++i) {
      std::fprintf(file, "%8.2f%8.2f", v.x[static_cast<std::size_t>(i)], v.z[static_cast<std::size_t>(i)] - drop);
      if (i % 5 == 4 || i + 1 == points) std::fputc('\n', file);
    }
    const double left = v.x[static_cast<std::size_t>(v.il - 1)], right = v.x[static_cast<std::size_t>(v.ip - 1)];
    std::fprintf(file, "#Mann= 3 ,0,0\n%8.2f%8.3f%8d%8.2f%8.3f%8d%8.2f%8.3f%8d\n", 0.0, 0.06, 0, left, 0.035, 0, right,
                 0.06, 0);
    std::fprintf(file, "Bank Sta=%.2f,%.2f\nExp/Cntr=0.3,0.1\n", left, right);
  }
  std::fclose(file);
  return discharge;
}

}  // namespace normlevel::bench
