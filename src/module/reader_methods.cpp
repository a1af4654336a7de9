// The reader as the class exposes it.
#include "module/docstrings.hpp"
#include "module/methods.hpp"
#include "smiles_reader/reader.hpp"

namespace atom {
namespace {

PyObject* m_from_smiles(PyObject* const* a) { return from_smiles(a[1], a[2], a[3]).release(); }

}  // namespace

namespace methods {

const MethodSpec from_smiles{
    .name = "from_smiles",
    .owner = "Atom",
    .kind = Kind::Class,
    .params = {{"cls", nullptr},
               {"smiles", "str", Rule::Str},
               {"top", "bool", Rule::Any, Def::True},
               {"val", "Optional[List[any]]", Rule::Any, Def::None}},
    .count = 4,
    .returns = "Union['Atom', Tuple['Atom', int]]",
    .result = Result::Any,
    .doc = doc::kFromSmiles,
    .impl = m_from_smiles,
};

}  // namespace methods
}  // namespace atom
