"""The type stubs and docstrings cover everything the module offers, with
the module's own parameters."""
import ast
import inspect
import pathlib

import talvik


def stub_defs():
    """{class or "": {name: its def, or None for a value}} from the
    package's stub file."""
    tree = ast.parse(pathlib.Path(talvik.__file__).with_name("__init__.pyi").read_text())
    defs = {"": {}}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            defs[""][node.name] = node
            defs[node.name] = {n.name: n for n in node.body if isinstance(n, ast.FunctionDef)}
        elif isinstance(node, ast.FunctionDef):
            defs[""][node.name] = node
        elif isinstance(node, ast.AnnAssign):
            defs[""][node.target.id] = None
    return defs


def parameters(function):
    """Names, keyword-only names and defaults of a def, and whether it takes
    more keywords (**)."""
    a = function.args
    return ([p.arg for p in a.args], [p.arg for p in a.kwonlyargs], [ast.unparse(d) for d in a.defaults],
            [d and ast.unparse(d) for d in a.kw_defaults], a.kwarg is not None)


def same_parameters(stub, function):
    """The stub declares the parameters the module's function takes; a
    stub's default of ... stands for any value, and the keywords a function
    takes through ** are the stub's to name."""
    names, keywords, defaults, keyword_defaults, more = module_parameters(function)
    stub_names, stub_keywords, stub_defaults, stub_keyword_defaults, _ = parameters(stub)
    if more:
        keywords, keyword_defaults = stub_keywords, stub_keyword_defaults
    return (stub_names, stub_keywords) == (names, keywords) and all(
        s in ("...", m) for s, m in zip(stub_defaults + stub_keyword_defaults, defaults + keyword_defaults, strict=True))


def module_parameters(function):
    """The same from the signature pybind11 puts first in a docstring:
    "st_map(self: talvik._talvik.Lens, width: int, ...) -> ..."."""
    line = function.__doc__.lstrip().splitlines()[0]
    return parameters(ast.parse(f"def {line}: pass").body[0])


def public(obj):
    return {n for n in dir(obj) if not n.startswith("_")}


def test_every_public_name_has_a_true_stub_and_a_docstring():
    stubs = stub_defs()
    assert set(talvik.__all__) == stubs[""].keys()
    for name in talvik.__all__:
        obj = getattr(talvik, name)
        if inspect.isroutine(obj):
            assert same_parameters(stubs[""][name], obj), name
        # A value has no docstring of its own: the package's says what it is.
        assert inspect.getdoc(obj) if callable(obj) else f"{name}:" in talvik.__doc__, f"talvik.{name} is undescribed"
    for cls in (o for o in vars(talvik).values() if inspect.isclass(o) and o.__name__ in talvik.__all__):
        # A class Python cannot make has pybind11's __init__, which states no signature.
        members = public(cls) | ({"__init__"} if cls.__init__.__doc__.startswith("__init__(") else set())
        assert members == stubs[cls.__name__].keys() - {"__eq__", "__hash__", "__bool__"}, cls
        for name in members:
            member, stub = getattr(cls, name), stubs[cls.__name__][name]
            where = f"{cls.__name__}.{name}"
            assert inspect.getdoc(member) and ast.get_docstring(stub), f"{where} has no docstring"
            is_property = any(ast.unparse(d) == "property" for d in stub.decorator_list)
            assert is_property == isinstance(member, property), where
            if not is_property:
                assert same_parameters(stub, member), where
