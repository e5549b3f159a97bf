// Benchmarks that need Qt create their own application object; this file
// keeps the support library non-empty for those that do not.
namespace lotfinch::bench {
int benchSupportLinked = 1;
}
