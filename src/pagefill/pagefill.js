// Element search and actions of WebFormFiller, run in an isolated world of the
// page. WebFormFiller appends one call, kuaidiPagefill("<base64>"), whose
// argument is the request's JSON text in base64: nothing the caller passes can
// ever be read as script. Everything lives inside the one function because the
// script runs again for every request and top-level let/const would clash.
function kuaidiPagefill(encodedRequest) {
    'use strict';

    function text(value) {
        return value === undefined || value === null ? '' : String(value);
    }

    function decode(encoded) {
        const binary = atob(encoded);
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; ++i)
            bytes[i] = binary.charCodeAt(i);
        return JSON.parse(new TextDecoder().decode(bytes));
    }

    // The top document, then the documents of its frames and inline frames,
    // depth-first. A frame of another origin has no contentDocument for us,
    // just as for the page's own scripts, and is left out.
    function collectDocuments(doc, out) {
        if (!doc)
            return out;
        out.push(doc);
        let frames = [];
        try {
            frames = doc.querySelectorAll('iframe, frame');
        } catch (e) {
        }
        for (const frame of frames) {
            let child = null;
            try {
                child = frame.contentDocument;
            } catch (e) {
            }
            collectDocuments(child, out);
        }
        return out;
    }

    function documents() {
        return collectDocuments(document, []);
    }

    function describe() {
        return {
            documents: documents().map(doc => ({
                readyState: text(doc.readyState),
                text: doc.body ? text(doc.body.innerText) : '',
            })),
        };
    }

    // namedItem() of the name lookup: the first element whose id or name is
    // the value. getElementsByName() hands out a NodeList, which lacks it.
    function namedItem(list, value) {
        for (const element of list) {
            if (element.id === value || element.getAttribute('name') === value)
                return element;
        }
        return null;
    }

    function lookupByAttribute(doc, attribute, value, occurrence) {
        if (!doc || attribute === '' || value === '')
            return null;
        if (attribute === 'id' && occurrence < 1)
            return doc.getElementById(value);
        if (attribute === 'name' && occurrence < 1) {
            const named = doc.getElementsByName(value);
            if (named.length > 1) {
                for (const element of named) {
                    if (text(element.name) === value)
                        return element;
                }
            }
            return namedItem(named, value);
        }
        if (attribute === 'classname')
            return doc.getElementsByClassName(value).item(occurrence);
        return null;
    }

    // True for the element the caller wants; earlier matches only use up the
    // occurrence, which is shared by every document searched.
    function matchElement(element, state, attribute, value) {
        if (value.trim() === '')
            return false;
        let matched;
        if (attribute !== '') {
            // Identifiers name the class attribute "classname", after its property.
            const name = attribute === 'classname' ? 'class' : attribute;
            matched = text(element.getAttribute(name)).trim() === value;
        } else {
            matched = text(element.name) === value || text(element.id) === value ||
                      text(element.href) === value || text(element.src).includes(value) ||
                      text(element.innerText) === value || text(element.getAttribute('class')) === value ||
                      text(element.alt) === value || text(element.title) === value ||
                      text(element.value) === value;
        }
        if (!matched)
            return false;
        if (state.occurrence > 0) {
            --state.occurrence;
            return false;
        }
        return true;
    }

    function searched(request, number) {
        if (request.frame > 0)
            return request.frame === number;
        return request.frameSelector <= 0 || request.frameSelector === number;
    }

    function findInput(request) {
        const docs = documents();
        const state = {occurrence: request.occurrence};
        let counter = request.counter;
        for (let i = 0; i < docs.length; ++i) {
            const number = i + 1;
            if (!searched(request, number))
                continue;
            const doc = docs[i];
            // The quick lookup hands back whatever element it finds, check box
            // or not; callers that count elements need the full walk.
            if (!request.counted && request.ordinal === 0) {
                const element = lookupByAttribute(doc, request.attribute, request.value, state.occurrence);
                if (element)
                    return {element, number, counter};
            }
            if (!doc.body)
                continue;
            for (const input of doc.body.getElementsByTagName('input')) {
                if (input.type !== request.type)
                    continue;
                ++counter;
                if (request.ordinal !== 0) {
                    if (counter === request.ordinal)
                        return {element: input, number, counter};
                    continue;
                }
                if (matchElement(input, state, request.attribute, request.value))
                    return {element: input, number, counter};
            }
        }
        return null;
    }

    // Elements handed to the caller, by key. The isolated world's globals
    // live as long as the page's document, so a key found on a page that has
    // gone since resolves to nothing; the session part keeps keys of one page
    // from meaning anything on another.
    function registry() {
        if (!window.kuaidiElements) {
            const session = new Uint32Array(2);
            crypto.getRandomValues(session);
            window.kuaidiElements = {session: session.join('-'), next: 1, elements: new Map()};
        }
        return window.kuaidiElements;
    }

    function reference(found) {
        const elements = registry();
        const key = elements.session + ':' + elements.next++;
        elements.elements.set(key, new WeakRef(found.element));
        // Callers rarely keep more than a handful; don't let the map grow.
        if (elements.elements.size > 1000)
            elements.elements.delete(elements.elements.keys().next().value);
        return {frame: found.number, key, counter: found.counter};
    }

    function resolve(ref) {
        const held = registry().elements.get(ref.key);
        const element = held ? held.deref() : undefined;
        return element && element.isConnected ? {element} : null;
    }

    function target(request) {
        return request.element ? resolve(request.element) : findInput(request);
    }

    // Leaves the box in the wanted state with the page's click handlers run
    // once. click() toggles before the handlers run, so the box starts from
    // the opposite state and the handlers see the state asked for, which is
    // what they read. A handler that cancels the click makes the browser undo
    // the toggle, hence the last assignment. The attribute follows the state
    // so that the markup and a form reset agree with it.
    function setChecked(box, checked) {
        if (checked)
            box.setAttribute('checked', 'checked');
        else
            box.removeAttribute('checked');
        box.checked = !checked;
        box.click();
        box.checked = checked;
    }

    const operations = {
        describe,
        find(request) {
            const found = findInput(request);
            return found ? reference(found) : {frame: 0, counter: -1};
        },
        check(request) {
            const found = target(request);
            if (!found)
                return {done: false};
            // The page disables a box it does not offer (a region taken by
            // another rule): forcing it would bypass the page's own rules.
            if (found.element.matches(':disabled'))
                return {done: false, disabled: true};
            setChecked(found.element, request.checked);
            return {done: true};
        },
        display(request) {
            const found = target(request);
            if (!found)
                return {done: false};
            if (request.restore)
                found.element.style.removeProperty('display'); // back to the page's own
            else
                found.element.style.setProperty('display', request.shown ? 'block' : 'none');
            return {done: true};
        },
        boxes(request) {
            const docs = documents();
            const boxes = [];
            for (let i = 0; i < docs.length; ++i) {
                if (!searched(request, i + 1) || !docs[i].body)
                    continue;
                for (const input of docs[i].body.getElementsByTagName('input')) {
                    if (input.type !== 'checkbox')
                        continue;
                    boxes.push({
                        frame: i + 1,
                        id: text(input.id),
                        checked: input.checked,
                        disabled: input.matches(':disabled'),
                        hidden: input.style.display === 'none',
                    });
                }
            }
            return {boxes};
        },
        fire(request) {
            const found = target(request);
            if (!found)
                return {done: false};
            // A plain Event, not a MouseEvent: handlers run, but a check box
            // does not toggle.
            const type = request.event.replace(/^on/i, '').toLowerCase();
            const event = new Event(type, {bubbles: true, cancelable: true});
            return {done: found.element.dispatchEvent(event)};
        },
    };

    try {
        const request = decode(encodedRequest);
        // The caller stops waiting at the deadline and reports failure; a
        // request that reaches a page busy until then must not act after all.
        if (Date.now() > request.deadline)
            return {late: true};
        const operation = Object.prototype.hasOwnProperty.call(operations, request.op) ? operations[request.op] : null;
        if (!operation)
            return {error: 'unknown operation ' + text(request.op)};
        return operation(request);
    } catch (e) {
        return {error: text(e && e.stack ? e.stack : e)};
    }
}
