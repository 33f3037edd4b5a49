'use strict';
// The center service for the tests: the token, permission and action log services on one
// HTTP port, each published by node-soap from its WSDL (RPC style, SOAP encoding).
//
// Usage: node center_soap_server.js [--path /sc/] [--service-ns URI] [--array-ns URI]
// (namespaces default to each service's endpoint URL, as the client's do).
// Prints "port N" once listening, then one line per call received:
//   CALL <tab> operation <tab> name=value ... <tab> #raw=<request envelope>
// with names such as _tokenKey or _log.operated and every value percent-encoded
// (encodeURIComponent). Stops on SIGTERM or when standard input closes.
//
// Answers depend on what is asked, so one server serves every case:
//   createToken: login "stall" never answers, "blank" gets "   ", a password other than
//     "secret" a fault; otherwise the token "tok-" + login.
//   validateToken: a blank token no person (nil), "tok-expired" and unknown tokens a fault
//     holding "TokenInvalidate";
//     otherwise a Person named after the login ("operator" is 张三).
//   checkPermission / checkChannelPermission by token: "allow" and tokens this server made
//     true, "deny" false, "expired"
//     a TokenInvalidate fault, "slow-db" a fault holding "Timeout", "broken" another fault,
//     "stall" never answers.
//   logOfToken: an empty answer.

const fs = require('fs');
const http = require('http');
const path = require('path');
const soap = require('soap');

function option(name, fallback) {
  const i = process.argv.indexOf(name);
  return i > 0 && i + 1 < process.argv.length ? process.argv[i + 1] : fallback;
}

const servicePath = option('--path', '/sc/');
const serviceNs = option('--service-ns', '');
const arrayNs = option('--array-ns', '');

const names = { operator: '张三', admin: 'Administrator' };

// Leaves of node-soap's view of the arguments, as dotted names; attributes are left out.
function flatten(value, prefix, out) {
  if (value === null || value === undefined) {
    out.push([prefix, '']);
  } else if (value instanceof Date) {
    out.push([prefix, value.toISOString()]);  // the instant the service understood, in UTC
  } else if (typeof value !== 'object') {
    out.push([prefix, String(value)]);
  } else if (Object.prototype.hasOwnProperty.call(value, '$value')) {
    flatten(value.$value, prefix, out);
  } else {
    for (const key of Object.keys(value)) {
      if (key === 'attributes') continue;
      flatten(value[key], prefix ? prefix + '.' + key : key, out);
    }
  }
  return out;
}

function record(operation, args, req) {
  const fields = flatten(args, '', []).map(([k, v]) => k + '=' + encodeURIComponent(v));
  fields.push('#raw=' + encodeURIComponent(req.quviRaw || ''));
  process.stdout.write(['CALL', operation].concat(fields).join('\t') + '\n');
}

function text(value) {
  if (value && typeof value === 'object') return text(value.$value);
  return value === undefined || value === null ? '' : String(value);
}

// A SOAP 1.1 fault goes with HTTP status 500.
function fault(message) {
  return {
    Fault: { faultcode: 'soap:Server.userException', faultstring: message, statusCode: 500 },
  };
}

function withRecord(operation, answer) {
  return function (args, callback, headers, req) {
    record(operation, args, req);
    answer(args, callback);
  };
}

function permission(args, callback) {
  const token = text(args._tokenKey);
  if (token === 'stall') return; // accepted and never answered
  if (token === 'allow' || token.startsWith('tok-')) return callback(null, { return: true });
  if (token === 'deny') return callback(null, { return: false });
  if (token === 'expired') return callback(fault('com.center.TokenInvalidateException: expired'));
  if (token === 'slow-db') return callback(fault('java.sql.SQLException: Timeout waiting for lock'));
  callback(fault('java.lang.NullPointerException'));
}

function permissionAnswer(operation) {
  return withRecord(operation, (args, callback) =>
    permission(args, (err, result) => {
      if (err) return callback(err);
      callback(null, { [operation + 'Return']: result.return });
    }));
}

const services = {
  token: {
    file: 'token_service.wsdl',
    endpoint: 'services/tokenService',
    impl: {
      PojoRemoteTokenServiceService: {
        tokenService: {
          createToken: withRecord('createToken', (args, callback) => {
            const login = text(args._loginName);
            if (login === 'stall') return;
            if (login === 'blank') return callback(null, { createTokenReturn: '   ' });
            if (text(args._password) !== 'secret') {
              return callback(fault('com.center.LoginException: wrong user or password'));
            }
            callback(null, { createTokenReturn: 'tok-' + login });
          }),
          validateToken: withRecord('validateToken', (args, callback) => {
            const token = text(args._tokenKey);
            if (token.trim() === '') {
              // No token, no person.
              return callback(null, { validateTokenReturn: { attributes: { 'xsi:nil': 'true' } } });
            }
            if (!token.startsWith('tok-') || token === 'tok-expired') {
              return callback(fault('com.center.TokenInvalidateException: ' + token));
            }
            const login = token.slice(4);
            callback(null, {
              validateTokenReturn: {
                admin: false, distinction: '', id: 7, loginName: login,
                name: names[login] || login, password: '', titleTechnicalPost: '',
              },
            });
          }),
          invalidateToken: withRecord('invalidateToken', (args, callback) => callback(null, {})),
        },
      },
    },
  },
  perm: {
    file: 'perm_service.wsdl',
    endpoint: 'services/permService',
    impl: {
      PojoRemotePermissionServiceService: {
        permService: {
          checkPermission: permissionAnswer('checkPermission'),
          checkChannelPermission: permissionAnswer('checkChannelPermission'),
        },
      },
    },
  },
  actionLog: {
    file: 'action_log_service.wsdl',
    endpoint: 'services/actionLogService',
    impl: {
      PojoRemoteActionLogServiceService: {
        actionLogService: {
          logOfToken: withRecord('logOfToken', (args, callback) => callback(null, {})),
        },
      },
    },
  },
};

const server = http.createServer((req, res) => {
  res.statusCode = 404;
  res.end('no such service');
});

server.listen(0, '127.0.0.1', () => {
  const port = server.address().port;
  for (const service of Object.values(services)) {
    const endpointUrl = 'http://127.0.0.1:' + port + servicePath + service.endpoint;
    const xml = fs
      .readFileSync(path.join(__dirname, service.file), 'utf8')
      .replaceAll('SERVICE_NS', serviceNs || endpointUrl)
      .replaceAll('ARRAY_NS', arrayNs || endpointUrl)
      .replaceAll('PATH', servicePath);
    const listener = soap.listen(server, {
      path: servicePath + service.endpoint,
      services: service.impl,
      xml,
    });
    // The raw envelope reaches the service methods through their request object.
    listener.log = (type, data, req) => {
      if (type === 'received' && req) req.quviRaw = data;
    };
  }
  process.stdout.write('port ' + port + '\n');
});

process.on('SIGTERM', () => process.exit(0));
process.stdin.on('end', () => process.exit(0));
process.stdin.resume();
