// Holds nothing but a symbol: the resource data itself is compiled in by qt_add_resources.
namespace lumisight {
int ResourcesLinked() { return 1; }
}  // namespace lumisight
