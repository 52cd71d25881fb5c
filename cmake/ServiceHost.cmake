# The service host and its registered domain, build settings of the product. The add-on opens
# web pages on the domain and on every subdomain of it, so the domain must be the host or a
# suffix of it at a dot, and have at least two labels.

# Sets OUT to an explanation when HOST and DOMAIN do not fit together, else to "".
function(tovr_service_host_problem HOST DOMAIN OUT)
  set(label "[a-z0-9]([a-z0-9-]*[a-z0-9])?")
  string(REPLACE "." "\\." escaped "${DOMAIN}")
  if(NOT HOST MATCHES "^${label}(\\.${label})*$")
    set(problem "OVRA_SERVICE_HOST \"${HOST}\" is not a lower-case host name")
  elseif(NOT DOMAIN MATCHES "^${label}(\\.${label})+$")
    set(problem "OVRA_SERVICE_DOMAIN \"${DOMAIN}\" is not a lower-case domain of two or more labels")
  elseif(NOT HOST STREQUAL DOMAIN AND NOT HOST MATCHES "\\.${escaped}$")
    set(problem "OVRA_SERVICE_DOMAIN \"${DOMAIN}\" is neither OVRA_SERVICE_HOST \"${HOST}\" nor a suffix of it at a dot")
  else()
    set(problem "")
  endif()
  set(${OUT} "${problem}" PARENT_SCOPE)
endfunction()
