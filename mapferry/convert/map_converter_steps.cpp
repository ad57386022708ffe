// The real converters of a generation run, in the driver's order.
#include "mapferry/convert/map_generator.h"

namespace {

class MapConverterStepsImpl : public CGenerationSteps {
  public:
    int Open(CMapGenerator&) override { return 1; }
    int Run(CMapGenerator&, GenerationStep) override { return 1; }
    void Free(bool) override {}
};

}  // namespace

CGenerationSteps* MapConverterSteps() {
    static MapConverterStepsImpl steps;
    return &steps;
}
